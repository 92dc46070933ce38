// DXF files through libdime (dxf.h): the one place that knows the library.
// Built without it (QP_HAVE_DIME unset: Windows, 32-bit Linux), every entry
// refuses with a UserError that says why.
#include "host/dxf.h"

#include "host/host_io.h"

#if QP_HAVE_DIME
#include <cstdio>
#include <memory>

#include <cstring>
#include <map>

#include <dime/Input.h>
#include <dime/Model.h>
#include <dime/Output.h>
#include <dime/entities/Circle.h>
#include <dime/entities/LWPolyline.h>
#include <dime/entities/Block.h>
#include <dime/entities/Insert.h>
#include <dime/entities/Line.h>
#include <dime/entities/Point.h>
#include <dime/entities/Polyline.h>
#include <dime/entities/Text.h>
#include <dime/entities/Vertex.h>
#include <dime/sections/BlocksSection.h>
#include <dime/sections/EntitiesSection.h>
#include <dime/sections/HeaderSection.h>
#include <dime/sections/TablesSection.h>
#include <dime/tables/LayerTable.h>
#include <dime/tables/Table.h>
#endif

namespace host::dxf {

#if QP_HAVE_DIME

namespace {

dimeVec3f vec(const Pt& p) { return dimeVec3f(static_cast<dxfdouble>(p.x), static_cast<dxfdouble>(p.y), 0); }

void setHeaderVariable(dimeHeaderSection* header, const char* name, int groupCode, const dimeParam& value) {
    const int codes[1] = {groupCode};
    header->setVariable(name, codes, &value, 1, nullptr);
}

dimeEntity* makeEntity(const Entity& e, dimeModel& model) {
    dimeEntity* made = nullptr;
    switch (e.kind) {
        case Entity::kPoint: {
            auto* p = new dimePoint;
            p->setCoords(vec(e.points.at(0)));
            made = p;
            break;
        }
        case Entity::kLine: {
            auto* l = new dimeLine;
            l->setCoords(0, vec(e.points.at(0)));
            l->setCoords(1, vec(e.points.at(1)));
            made = l;
            break;
        }
        case Entity::kPolyline: {
            auto* pl = new dimePolyline;
            // The polyline copies the array and owns the vertices.
            auto** vertices = new dimeVertex*[e.points.size()];
            for (size_t i = 0; i < e.points.size(); ++i) {
                vertices[i] = new dimeVertex;
                vertices[i]->setCoords(vec(e.points[i]));
                vertices[i]->setLayer(model.getLayer(e.layer.c_str()));
            }
            pl->setCoordVertices(vertices, static_cast<int>(e.points.size()));
            delete[] vertices;
            pl->setFlags(e.closed ? 1 : 0);
            made = pl;
            break;
        }
        case Entity::kText: {
            auto* t = new dimeText;
            t->setOrigin(vec(e.points.at(0)));
            t->setHeight(static_cast<dxfdouble>(e.height));
            t->setTextString(e.text.c_str());
            made = t;
            break;
        }
    }
    made->setLayer(model.getLayer(e.layer.c_str()));
    return made;
}

Pt pt(const dimeVec3f& v) { return Pt{v[0], v[1]}; }

// One entity as read; false when it is of a kind the drawing does not hold.
bool readEntity(dimeEntity* e, Entity& out) {
    out.layer = e->getLayerName() ? e->getLayerName() : "0";
    switch (e->typeId()) {
        case dimeBase::dimePointType:
            out.kind = Entity::kPoint;
            out.points = {pt(static_cast<dimePoint*>(e)->getCoords())};
            return true;
        case dimeBase::dimeCircleType:
            out.kind = Entity::kPoint;
            out.points = {pt(static_cast<dimeCircle*>(e)->getCenter())};
            return true;
        case dimeBase::dimeLineType: {
            auto* l = static_cast<dimeLine*>(e);
            out.kind = Entity::kLine;
            out.points = {pt(l->getCoords(0)), pt(l->getCoords(1))};
            return true;
        }
        case dimeBase::dimePolylineType: {
            auto* pl = static_cast<dimePolyline*>(e);
            if (pl->getType() != dimePolyline::POLYLINE) return false;
            out.kind = Entity::kPolyline;
            out.closed = (pl->getFlags() & 1) != 0;
            for (int i = 0; i < pl->getNumCoordVertices(); ++i) out.points.push_back(pt(pl->getCoordVertex(i)->getCoords()));
            return true;
        }
        case dimeBase::dimeLWPolylineType: {
            auto* pl = static_cast<dimeLWPolyline*>(e);
            out.kind = Entity::kPolyline;
            out.closed = (pl->getFlags() & 1) != 0;
            for (int i = 0; i < pl->getNumVertices(); ++i)
                out.points.push_back(Pt{pl->getXCoords()[i], pl->getYCoords()[i]});
            return true;
        }
        case dimeBase::dimeTextType: {
            auto* t = static_cast<dimeText*>(e);
            dimeVec3f at;
            t->getOrigin(at);
            out.kind = Entity::kText;
            out.points = {pt(at)};
            out.text = t->getTextString() ? t->getTextString() : "";
            out.height = t->getHeight();
            return true;
        }
        default: return false;
    }
}

}  // namespace

bool available() { return true; }

Drawing readDrawing(const std::string& path) {
    dimeInput in;
    if (!in.setFile(path.c_str())) throw UserError(path, "cannot open the file");
    dimeModel model;
    if (!model.read(&in))
        throw UserError(path + ": line " + std::to_string(in.getFilePosition()), "not a DXF file libdime can read");
    Drawing d;
    std::map<std::string, int> skipped;
    std::vector<std::string> order;
    const auto skip = [&](dimeEntity* e) {
        const std::string kind = std::string(e->getEntityName()) + " on layer " + (e->getLayerName() ? e->getLayerName() : "0");
        if (skipped[kind]++ == 0) order.push_back(kind);
    };
    if (const auto* header = static_cast<const dimeHeaderSection*>(model.findSection("HEADER"))) {
        int codes[4];
        dimeParam values[4];
        if (header->getVariable("$ACADVER", codes, values, 4) >= 1 && codes[0] == 1 && values[0].string_data)
            d.version = values[0].string_data;
        if (header->getVariable("$INSUNITS", codes, values, 4) >= 1 && codes[0] == 70) d.insUnits = values[0].int16_data;
    }
    std::map<const dimeBlock*, size_t> blockAt;
    if (auto* blocks = static_cast<dimeBlocksSection*>(model.findSection("BLOCKS"))) {
        for (int i = 0; i < blocks->getNumBlocks(); ++i) {
            dimeBlock* b = blocks->getBlock(i);
            // Model and paper space (*Model_Space; $MODEL_SPACE in R12).
            if (!b->getName() || b->getName()[0] == '*' || b->getName()[0] == '$') continue;
            Block block;
            block.name = b->getName();
            for (int k = 0; k < b->getNumEntities(); ++k) {
                Entity e;
                if (readEntity(b->getEntity(k), e)) block.entities.push_back(std::move(e));
                else skip(b->getEntity(k));
            }
            blockAt[b] = d.blocks.size();
            d.blocks.push_back(std::move(block));
        }
    }
    if (auto* entities = static_cast<dimeEntitiesSection*>(model.findSection("ENTITIES"))) {
        for (int k = 0; k < entities->getNumEntities(); ++k) {
            dimeEntity* e = entities->getEntity(k);
            if (e->typeId() == dimeBase::dimeInsertType) {
                auto* insert = static_cast<dimeInsert*>(e);
                auto found = blockAt.find(insert->getBlock());
                if (found == blockAt.end()) {
                    skip(e);
                    continue;
                }
                Block& b = d.blocks[found->second];
                b.at = pt(insert->getInsertionPoint());
                b.rotation = insert->getRotAngle();
                b.scaleX = insert->getScale()[0];
                b.scaleY = insert->getScale()[1];
                continue;
            }
            Entity out;
            if (readEntity(e, out)) d.entities.push_back(std::move(out));
            else skip(e);
        }
    }
    for (const std::string& kind : order) d.skipped.emplace_back(kind, skipped[kind]);
    return d;
}

void writeDrawing(const Drawing& drawing, const std::string& path) {
    dimeModel model;
    auto* header = new dimeHeaderSection(nullptr);
    model.insertSection(header);
    dimeParam version;
    version.string_data = drawing.version.c_str();
    setHeaderVariable(header, "$ACADVER", 1, version);
    if (drawing.insUnits != 0) {
        dimeParam units;
        units.int16_data = static_cast<int16>(drawing.insUnits);
        setHeaderVariable(header, "$INSUNITS", 70, units);
    }

    auto* tables = new dimeTablesSection(nullptr);
    model.insertSection(tables);
    auto* layers = new dimeTable(nullptr);
    for (const std::string& name : drawing.layers) {
        auto* entry = new dimeLayerTable;
        entry->setLayerName(name.c_str(), nullptr);
        entry->setColorNumber(7);
        layers->insertTableEntry(entry);
        entry->registerLayer(&model);
    }
    tables->insertTable(layers);

    auto* blocks = new dimeBlocksSection(nullptr);
    model.insertSection(blocks);
    auto* entities = new dimeEntitiesSection(nullptr);
    model.insertSection(entities);
    for (const Block& b : drawing.blocks) {
        auto* block = new dimeBlock(nullptr);
        block->setName(b.name.c_str());
        for (const Entity& e : b.entities) block->insertEntity(makeEntity(e, model));
        blocks->insertBlock(block);
        model.addBlock(b.name.c_str(), block);
        auto* insert = new dimeInsert;
        insert->setBlock(block);
        insert->setInsertionPoint(vec(b.at));
        insert->setRotAngle(static_cast<dxfdouble>(b.rotation));
        insert->setScale(dimeVec3f(static_cast<dxfdouble>(b.scaleX), static_cast<dxfdouble>(b.scaleY), 1));
        entities->insertEntity(insert);
    }
    for (const Entity& e : drawing.entities) entities->insertEntity(makeEntity(e, model));

    // Through a scratch file, so that the target is written whole or not at all.
    std::unique_ptr<FILE, int (*)(FILE*)> scratch(std::tmpfile(), &std::fclose);
    if (!scratch) throw UserError(path, "cannot open a scratch file to write the DXF");
    dimeOutput out;
    out.setFileHandle(scratch.get());
    if (!model.write(&out) || std::fflush(scratch.get()) != 0)
        throw UserError(path, "libdime could not write the drawing");
    std::string text;
    std::rewind(scratch.get());
    char chunk[1 << 14];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, scratch.get())) > 0;) text.append(chunk, n);
    writeFileAtomic(path, text);
}

#else

bool available() { return false; }

namespace {

[[noreturn]] void noLibrary(const std::string& path) {
    throw UserError(path, "this qpkit was built without libdime, the DXF library (it has no Windows or 32-bit "
                          "build): use the 64-bit Linux qpkit for DXF");
}

}  // namespace

void writeDrawing(const Drawing&, const std::string& path) { noLibrary(path); }
Drawing readDrawing(const std::string& path) { noLibrary(path); }

#endif

}  // namespace host::dxf
