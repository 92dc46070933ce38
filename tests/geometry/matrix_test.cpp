// Matrices, their inverses, point transforms and direction angles.
#include <cmath>

#include <gtest/gtest.h>

#include "frame/siblings.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kMatrixTolerance = 1e-5f;

// Rotation by theta about (px, py), rows as the tools write them.
void rotationAbout(double theta, double px, double py, float m[9]) {
    const double c = std::cos(theta), s = std::sin(theta);
    const float r[9] = {float(c), float(s), 0, float(-s), float(c), 0,
                        float((1 - c) * px + s * py), float((1 - c) * py - s * px), 1};
    for (int i = 0; i < 9; ++i) m[i] = r[i];
}

void expectIdentity(const float m[9], float tolerance) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], i % 4 == 0 ? 1.0f : 0.0f, tolerance) << "element " << i;
}

TEST(Matrix, ProductIntoThirdMatrix) {
    const float a[9] = {1, 2, 0, 3, 4, 0, 5, 6, 1};
    const float b[9] = {2, 0, 0, 0, 3, 0, 10, 20, 1};
    float out[9] = {};
    qpMultiMatrix(0, const_cast<float*>(a), b, out);
    const float expected[9] = {2, 6, 0, 6, 12, 0, 20, 38, 1};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(out[i], expected[i]) << i;
    EXPECT_FLOAT_EQ(a[1], 2.0f);  // the factors are left alone
}

TEST(Matrix, ProductInPlace) {
    float a[9] = {1, 2, 0, 3, 4, 0, 5, 6, 1};
    const float b[9] = {2, 0, 0, 0, 3, 0, 10, 20, 1};
    float untouched[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    qpMultiMatrix(1, a, b, untouched);
    const float expected[9] = {2, 6, 0, 6, 12, 0, 20, 38, 1};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(a[i], expected[i]) << i;
    EXPECT_FLOAT_EQ(untouched[0], 7.0f);
}

TEST(Matrix, ProductMayOverwriteAFactor) {
    float a[9] = {1, 2, 0, 3, 4, 0, 5, 6, 1};
    const float b[9] = {2, 0, 0, 0, 3, 0, 10, 20, 1};
    qpMultiMatrix(0, a, b, a);
    EXPECT_FLOAT_EQ(a[7], 38.0f);
    EXPECT_FLOAT_EQ(a[4], 12.0f);
}

TEST(Matrix, FlipThenViewMapsPieceToClient) {
    // The frame's recipe: view x flip with H = 600 turns y up into y down.
    const float view[9] = {2, 0, 0, 0, 2, 0, 50, 40, 1};
    const float flip[9] = {1, 0, 0, 0, -1, 0, 0, 600, 1};
    float viewFlip[9];
    qpMultiMatrix(0, const_cast<float*>(view), flip, viewFlip);
    Coord in{0, 0, 10.0f, 20.0f}, out{};
    qpTransCoord(&out, viewFlip, &in);
    EXPECT_FLOAT_EQ(out.x, 70.0f);
    EXPECT_FLOAT_EQ(out.y, 600.0f - 80.0f);
}

struct InverseCase {
    const char* name;
    float m[9];
};

TEST(Matrix, InverseTimesMatrixIsIdentity) {
    const InverseCase cases[] = {
        {"identity", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"scale and shift", {0.25f, 0, 0, 0, 0.25f, 0, 300, -120, 1}},
        {"flip", {1, 0, 0, 0, -1, 0, 0, 768, 1}},
        {"rotation", {0.6f, 0.8f, 0, -0.8f, 0.6f, 0, 12, 34, 1}},
        {"shear", {1, 0.5f, 0, 0.2f, 1, 0, -5, 5, 1}},
        {"small view scale, large shift", {0.1f, 0, 0, 0, -0.1f, 0, 512, 384, 1}},
    };
    for (const InverseCase& c : cases) {
        float inv[9], prod[9];
        qpContraMatrix(c.m, inv);
        qpMultiMatrix(0, const_cast<float*>(c.m), inv, prod);
        SCOPED_TRACE(c.name);
        expectIdentity(prod, kMatrixTolerance);
        qpMultiMatrix(0, inv, c.m, prod);
        expectIdentity(prod, kMatrixTolerance);
    }
}

TEST(Matrix, InverseMapsScreenBackToPiece) {
    float pieceToScreen[9];
    rotationAbout(0.7, 30.0, -20.0, pieceToScreen);
    pieceToScreen[6] += 400.0f;
    float screenToPiece[9];
    qpContraMatrix(pieceToScreen, screenToPiece);
    Coord p{0, 0, 123.5f, -45.25f}, s{}, back{};
    qpTransCoord(&s, pieceToScreen, &p);
    qpTransCoord(&back, screenToPiece, &s);
    EXPECT_NEAR(back.x, p.x, 1e-3);
    EXPECT_NEAR(back.y, p.y, 1e-3);
}

// A singular matrix (a view scaled to nothing) has no inverse: the identity
// keeps the picks finite.
TEST(Matrix, SingularInverseIsIdentity) {
    const float singular[9] = {1, 2, 0, 2, 4, 0, 5, 5, 1};
    float inv[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    qpContraMatrix(singular, inv);
    expectIdentity(inv, 0.0f);
    const float zero[9] = {};
    qpContraMatrix(zero, inv);
    expectIdentity(inv, 0.0f);
}

TEST(Matrix, TransCoordRotatesAboutAPoint) {
    float m[9];
    rotationAbout(kPi / 2, 50.0, 50.0, m);
    Coord in{7, 3, 100.0f, 50.0f}, out{};
    qpTransCoord(&out, m, &in);
    EXPECT_NEAR(out.x, 50.0f, 1e-4);
    EXPECT_NEAR(out.y, 100.0f, 1e-4);
    // Only x and y are written: the record's index fields are the caller's.
    out.pointIndex = 11;
    qpTransCoord(&out, m, &in);
    EXPECT_EQ(out.pointIndex, 11);
}

TEST(Matrix, TransCoordInPlace) {
    float m[9];
    rotationAbout(kPi, 0.0, 0.0, m);
    Coord c{0, 0, 3.0f, 4.0f};
    qpTransCoord(&c, m, &c);
    EXPECT_NEAR(c.x, -3.0f, 1e-5);
    EXPECT_NEAR(c.y, -4.0f, 1e-5);
}

TEST(Matrix, NullArgumentsWriteNothing) {
    float a[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    qpMultiMatrix(0, a, nullptr, a);
    qpMultiMatrix(0, nullptr, a, a);
    qpContraMatrix(nullptr, a);
    Coord c{0, 0, 1.0f, 2.0f};
    qpTransCoord(&c, nullptr, &c);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    expectIdentity(a, 0.0f);
}

struct AngleCase {
    double dx, dy, expected;
    const char* why;
};

TEST(Angle, DirectionTable) {
    const AngleCase cases[] = {
        {1, 0, 0.0, "along +x"},
        {0, 1, kPi / 2, "along +y (y up)"},
        {-1, 0, kPi, "along -x"},
        {-1, -0.0, kPi, "negative zero y still gives +pi: the range is (-pi, pi]"},
        {0, -1, -kPi / 2, "along -y"},
        {1, 1, kPi / 4, "first quadrant"},
        {-1, 1, 3 * kPi / 4, "second quadrant"},
        {-1, -1, -3 * kPi / 4, "third quadrant"},
        {3, -3, -kPi / 4, "fourth quadrant, length does not matter"},
        {0, 0, 0.0, "no direction: 0"},
        {NAN, 1, 0.0, "not a number: 0"},
    };
    for (const AngleCase& c : cases) {
        EXPECT_NEAR(qpAngle(c.dx, c.dy), c.expected, 1e-12) << c.why;
    }
}

// The symmetry tool calls the service with swapped components to get
// pi/2 - theta.
TEST(Angle, SwappedComponentsGiveTheComplement) {
    const double theta = qpAngle(3.0, 4.0);
    EXPECT_NEAR(qpAngle(4.0, 3.0), kPi / 2 - theta, 1e-12);
}

}  // namespace
