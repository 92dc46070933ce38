// Sizes: reading them (options and charts) and grading a pattern to one
// (see sizes.h, docs/sizes.md).
#include "host/sizes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/piece_geometry.h"
#include "siblings/records/store_extras.h"

namespace host {

namespace {

// A size's name is shown in legends and tables and picked with --size NAME.
constexpr size_t kMaxSizeName = 40;

std::vector<std::string> split(const std::string& s, char at) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, at)) parts.push_back(part);
    if (!s.empty() && s.back() == at) parts.emplace_back();
    return parts;
}

std::string names(const std::map<std::string, float>& base) {
    std::string list;
    for (const auto& entry : base) list += (list.empty() ? "" : ", ") + entry.first;
    return list.empty() ? "none" : list;
}

// What is wrong with a size's name; "" when it is a name.
std::string nameFault(const std::string& name) {
    if (name.empty()) return "a size needs a name";
    if (name.size() > kMaxSizeName)
        return "the size name \"" + name + "\" is longer than " + std::to_string(kMaxSizeName) + " characters";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == ':' || c == ',' || c == '=')
            return "the size name \"" + name + "\" has a character a name cannot have (a control character, : , or =)";
    return "";
}

// What is wrong with a measurement name against the pattern's table; "".
std::string measurementFault(const std::string& name, const std::map<std::string, float>& base) {
    if (name.empty()) return "a measurement without a name";
    if (!base.count(name))
        return "the pattern has no measurement \"" + name + "\" (it has " + names(base) + ")";
    return "";
}

// Reads a value in cm; "" when it is one, else what is wrong with it.
std::string readValue(const std::string& name, const std::string& text, float& out) {
    const std::string of = "the value of " + name;
    if (text.empty()) return of + " is empty";
    bool number = true;
    int digits = 0, points = 0;
    for (size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) ++digits;
        else if (text[i] == '.' && points == 0) ++points;
        else number = false;
    }
    if (!number || digits == 0) return of + ", \"" + text + "\", is not a number of centimetres";
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v) || v < 0.0 || v > kMaxMeasurementCm)
        return of + ", " + text + " cm, is out of range (0 to " + floatText(kMaxMeasurementCm) + " cm)";
    out = static_cast<float>(v);
    return "";
}

Size sizeNamed(const std::string& name, const std::map<std::string, float>& base) {
    Size size;
    size.name = name;
    size.measurements = base;
    return size;
}

// A chart's cell: trimmed, and one pair of surrounding double quotes
// dropped (spreadsheets quote some cells).
std::string cell(const std::string& raw) {
    std::string c = trim(raw);
    if (c.size() >= 2 && c.front() == '"' && c.back() == '"') c = trim(c.substr(1, c.size() - 2));
    return c;
}

}  // namespace

std::string sizeNames(const std::vector<Size>& sizes) {
    std::string list;
    for (const Size& s : sizes) list += (list.empty() ? "" : ", ") + s.name + (s.base ? " (base)" : "");
    return list;
}

std::string measurementsText(const std::map<std::string, float>& measurements) {
    std::string text;
    for (const auto& [name, value] : measurements) text += (text.empty() ? "" : " ") + name + "=" + floatText(value);
    return text;
}

Size parseSizeOption(const std::string& text, const std::map<std::string, float>& base) {
    const std::string where = "--size " + text;
    const size_t colon = text.find(':');
    Size size = sizeNamed(trim(text.substr(0, colon)), base);
    if (std::string fault = nameFault(size.name); !fault.empty())
        throw UserError(where, fault + " (NAME:B=96,W=80)");
    const std::string values = text.substr(colon + 1);
    std::map<std::string, bool> given;
    for (const std::string& raw : trim(values).empty() ? std::vector<std::string>{} : split(values, ',')) {
        const std::string entry = trim(raw);
        const size_t eq = entry.find('=');
        if (eq == std::string::npos)
            throw UserError(where, entry.empty() ? "an empty measurement between commas"
                                                 : "\"" + entry + "\" is not NAME=VALUE (for example B=96)");
        const std::string name = trim(entry.substr(0, eq));
        if (std::string fault = measurementFault(name, base); !fault.empty()) throw UserError(where, fault);
        if (given[name]) throw UserError(where, "the measurement " + name + " is given twice");
        given[name] = true;
        if (std::string fault = readValue(name, trim(entry.substr(eq + 1)), size.measurements[name]); !fault.empty())
            throw UserError(where, fault);
    }
    size.base = size.measurements == base;
    return size;
}

std::vector<Size> parseSizeChart(const std::string& text, const std::string& fileName,
                                 const std::map<std::string, float>& base) {
    std::vector<std::string> header;  // measurement names, from the second column
    std::vector<Size> sizes;
    std::map<std::string, int> lineOfSize;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string at = fileName + ": line " + std::to_string(lineNo);
        auto atColumn = [&](size_t column) { return at + ", column " + std::to_string(column + 1); };
        if (lineNo == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);  // a spreadsheet's UTF-8 mark
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (trim(raw).empty() || trim(raw)[0] == '#') continue;
        std::vector<std::string> cells = split(raw, ',');
        for (std::string& c : cells) c = cell(c);
        if (header.empty()) {
            if (cells.size() < 2)
                throw UserError(at, "the header names the size column and at least one measurement (size,B,W)");
            for (size_t c = 1; c < cells.size(); ++c) {
                if (std::string fault = measurementFault(cells[c], base); !fault.empty())
                    throw UserError(atColumn(c), fault);
                for (size_t d = 1; d < c; ++d)
                    if (cells[d] == cells[c])
                        throw UserError(atColumn(c), "the measurement " + cells[c] + " has two columns");
                header.push_back(cells[c]);
            }
            continue;
        }
        if (cells.size() != header.size() + 1)
            throw UserError(at, std::to_string(cells.size()) + " cells where the header has " +
                                    std::to_string(header.size() + 1));
        Size size = sizeNamed(cells[0], base);
        if (std::string fault = nameFault(size.name); !fault.empty()) throw UserError(atColumn(0), fault);
        if (lineOfSize.count(size.name))
            throw UserError(atColumn(0), "the size \"" + size.name + "\" is given twice (first on line " +
                                             std::to_string(lineOfSize[size.name]) + ")");
        lineOfSize[size.name] = lineNo;
        for (size_t c = 0; c < header.size(); ++c)
            if (std::string fault = readValue(header[c], cells[c + 1], size.measurements[header[c]]); !fault.empty())
                throw UserError(atColumn(c + 1), fault);
        size.base = size.measurements == base;
        sizes.push_back(std::move(size));
    }
    if (header.empty()) throw UserError(fileName, "the chart is empty (a header line, then a line per size)");
    if (sizes.empty()) throw UserError(fileName, "the chart has a header but no sizes");
    return sizes;
}

std::vector<Size> readSizes(const SizeOptions& options, const std::map<std::string, float>& base) {
    std::vector<Size> chart;
    if (!options.chart.empty()) chart = parseSizeChart(readFile(options.chart), options.chart, base);
    bool picks = false;
    for (const std::string& text : options.sizes) picks = picks || text.find(':') == std::string::npos;
    std::vector<Size> sizes;
    if (!picks) sizes = chart;
    for (const std::string& text : options.sizes) {
        const std::string where = "--size " + text;
        Size size;
        if (text.find(':') == std::string::npos) {
            if (chart.empty())
                throw UserError(where, "no chart (--sizes) gives a size; define it as " + text + ":B=96,W=80");
            auto it = std::find_if(chart.begin(), chart.end(), [&](const Size& s) { return s.name == trim(text); });
            if (it == chart.end()) {
                std::string list;
                for (const Size& s : chart) list += (list.empty() ? "" : ", ") + s.name;
                throw UserError(where, "the chart " + options.chart + " has no size \"" + trim(text) + "\" (it has " +
                                           list + ")");
            }
            size = *it;
        } else {
            size = parseSizeOption(text, base);
        }
        for (const Size& s : sizes)
            if (s.name == size.name) throw UserError(where, "the size \"" + size.name + "\" is given twice");
        sizes.push_back(std::move(size));
    }
    return sizes;
}

std::vector<Size> withBase(std::vector<Size> sizes, const std::map<std::string, float>& base) {
    for (const Size& s : sizes)
        if (s.base) return sizes;
    Size b = sizeNamed("base", base);
    b.base = true;
    sizes.insert(sizes.begin(), std::move(b));
    return sizes;
}

int pointsWithoutFormulas(Piece* piece) {
    int count = 0;
    for (short i = 0; i < piece->pointCount; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        if (p && (p->formulaIndex < 0 || p->formulaIndex >= piece->formulaCount)) ++count;
    }
    return count;
}

void gradePattern(PatternDoc& doc, const Size& size) {
    for (const auto& [name, value] : size.measurements) storeSetParameter(name.c_str(), value);
    for (int pi = 0; pi < doc.pieceCount(); ++pi) {
        Piece* piece = doc.piece(pi);
        if (piece->formulaCount == 0) continue;
        // Coordinates first: a special point's position is measured along
        // its line as graded.
        forEachFormulaPoint(piece, [](short, Coord& at, float x, float y) {
            at.x = x;
            at.y = y;
        });
        placeSpecialPoints(piece);
    }
}

PatternDoc gradedPattern(const PatternModel& model, const std::string& file, const Size& size) {
    PatternDoc doc = buildPattern(model, file);
    gradePattern(doc, size);
    return doc;
}

}  // namespace host
