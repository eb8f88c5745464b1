/*
 * The server's units to device units.  The server lays out in points,
 * inches and 1/600 inch; the printer draws in its dots.  Conversions
 * truncate: the layouts were measured with truncating arithmetic, and
 * rounding instead would move lines by a dot here and there.
 */
#include "draw.h"

namespace {

/* A product such as 0.6 × 12 points lands a hair below 7.2 in floating
 * point; the bias keeps it from truncating a unit low. */
const double kBias = 1e-6;

int Truncate(double d)
{
    return (int)(d + (d >= 0 ? kBias : -kBias));
}

} // namespace

int PointsToDevice(double dPoints, int iDpi)
{
    return MulDiv(Truncate(dPoints * 1000.0), iDpi, 72000);
}

int PointsToDeviceX(HDC hdc, double dPoints)
{
    return PointsToDevice(dPoints, GetDeviceCaps(hdc, LOGPIXELSX));
}

int PointsToDeviceY(HDC hdc, double dPoints)
{
    return PointsToDevice(dPoints, GetDeviceCaps(hdc, LOGPIXELSY));
}

int FontHeightForPoints(HDC hdc, double dPoints)
{
    return -PointsToDeviceY(hdc, dPoints);
}

int InchesToDeviceX(HDC hdc, double dInches)
{
    return Truncate(dInches * GetDeviceCaps(hdc, LOGPIXELSX));
}

int InchesToDeviceY(HDC hdc, double dInches)
{
    return Truncate(dInches * GetDeviceCaps(hdc, LOGPIXELSY));
}

int ServerToDeviceX(HDC hdc, int iPosition)
{
    return (int)((long long)iPosition * GetDeviceCaps(hdc, LOGPIXELSX) / 600);
}

int ServerToDeviceY(HDC hdc, int iPosition)
{
    return (int)((long long)iPosition * GetDeviceCaps(hdc, LOGPIXELSY) / 600);
}

int HeadingTypePosition(int iType)
{
    switch (iType) {
    case 2:
    case 4:
    case 6:
    case 8:
    case 10:
    case 12:
    case 13:
    case 16:
    case 18:
        return 25;
    default:
        return iType >= 1 && iType <= 18 ? 50 : 0;
    }
}
