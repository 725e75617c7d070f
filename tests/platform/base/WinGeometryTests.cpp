// The rectangle functions against Win32's rules for a rectangle's edges.
#include "platform/base/WinGeometry.h"

#include <gtest/gtest.h>

namespace {

// Win32 counts the left and top edges in and the right and bottom edges
// out: a point is inside when left <= x < right and top <= y < bottom.
TEST(WinGeometry, PtInRectTakesTheLeftAndTopEdgesButNotTheRightAndBottom)
{
    const RECT r = {10, 20, 30, 40};
    struct Case {
        const char* name;
        POINT pt;
        BOOL inside;
    } cases[] = {
        {"top left corner", {10, 20}, TRUE},
        {"last pixel of the top row", {29, 20}, TRUE},
        {"last pixel of the left column", {10, 39}, TRUE},
        {"bottom right pixel", {29, 39}, TRUE},
        {"middle", {20, 30}, TRUE},
        {"right edge", {30, 25}, FALSE},
        {"bottom edge", {15, 40}, FALSE},
        {"bottom right corner", {30, 40}, FALSE},
        {"right edge on the top row", {30, 20}, FALSE},
        {"bottom edge on the left column", {10, 40}, FALSE},
        {"left of the left edge", {9, 25}, FALSE},
        {"above the top edge", {15, 19}, FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.inside, PtInRect(&r, c.pt)) << c.name << " (" << c.pt.x << "," << c.pt.y << ")";

    // A rectangle without width, or turned inside out, holds no point.
    const RECT flat = {5, 5, 5, 10}, inverted = {10, 10, 0, 0};
    EXPECT_FALSE(PtInRect(&flat, POINT{5, 5}));
    EXPECT_FALSE(PtInRect(&inverted, POINT{5, 5}));
    EXPECT_FALSE(PtInRect(nullptr, POINT{0, 0}));
}

}  // namespace
