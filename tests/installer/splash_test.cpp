/** @file
 * Tests of the splash screen's drawing arithmetic (the window and its
 * animation are exercised end to end under Xvfb, tests/e2e).
 */
#include <gtest/gtest.h>
#include <math.h>

#include "splash.h"

namespace
{

/* The dot's offset must be the integers the C library's cos and sin give,
   for every angle the animation reaches and for the turns after it (the
   value is a 32-bit count of degrees, reduced only by the caller). */
TEST(Splash, DotOffsetMatchesTheCLibrary)
{
    unsigned cMismatches = 0;
    for (uint32_t uAngle = 0; uAngle < 3600; uAngle++)
    {
        double const rdRadians = (double)uAngle * 3.14159 / 180.0;
        int const dxExpected = (int)(cos(rdRadians) * -10.0);
        int const dyExpected = (int)(sin(rdRadians) * -10.0);
        int dx = 99, dy = 99;
        SplashDotOffset(uAngle, &dx, &dy);
        if (dx != dxExpected || dy != dyExpected)
        {
            ADD_FAILURE() << "angle " << uAngle << ": (" << dx << ", " << dy << "), C library (" << dxExpected << ", "
                          << dyExpected << ")";
            if (++cMismatches > 10)
                break;
        }
    }
}

/* The four points of the compass and the truncation right next to them:
   cos(3.14159) is 1 - 3.5e-12 in magnitude, so 180 degrees gives 9. */
TEST(Splash, DotOffsetCardinalPoints)
{
    struct
    {
        uint32_t uAngle;
        int dx, dy;
    } const aCases[] = {{0, -10, 0}, {90, 0, -9}, {180, 9, 0}, {270, 0, 9}, {350, -9, 1}};
    for (auto const &Case : aCases)
    {
        int dx = 99, dy = 99;
        SplashDotOffset(Case.uAngle, &dx, &dy);
        EXPECT_EQ(Case.dx, dx) << "angle " << Case.uAngle;
        EXPECT_EQ(Case.dy, dy) << "angle " << Case.uAngle;
    }
}

} // namespace
