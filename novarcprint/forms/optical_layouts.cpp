/*
 * Where everything stands on the three optical layouts, in inches from the
 * form's origin: one row per layout, so a position is changed in one
 * place and the drawing code has no branch per form.
 */
#include "optical.h"

namespace {

#define NAME_ROW                                                                                   \
    {0, OpticalCell::LABEL, 0.05, "Patient Name", -1, false},                                      \
        {0, OpticalCell::NAME, 0.8, NULL, 5, false},                                               \
    {                                                                                              \
        0, OpticalCell::PAIR, 4.125, "Age  ", 8, false                                             \
    }
#define AMPERSAND(row)                                                                             \
    {                                                                                              \
        row, OpticalCell::LABEL, 0.38, "&", -1, false                                              \
    }
#define ADDRESS(row)                                                                               \
    {                                                                                              \
        row, OpticalCell::LABEL, 0.2, "Address", -1, false                                         \
    }
#define VALUE_AT(row, field)                                                                       \
    {                                                                                              \
        row, OpticalCell::VALUE, 0.8, NULL, field, false                                           \
    }

// clang-format off
const OpticalLayout kLayouts[] = {
    {LAYOUT_CONTACT_LENS, 0.35, {1.075, 1.12}, {1.32, 1.48, 1.62},
     {NAME_ROW,
      AMPERSAND(1), {1, OpticalCell::PAIR, 4.125, "Date", 12, false},
      ADDRESS(2), VALUE_AT(2, 6), {2, OpticalCell::PAIR, 4.125, "Exp", 13, false},
      VALUE_AT(3, 7)}, 9,
     1.79, 1.8875,
     1.995, {2.215, 2.465}, 2,
     {0, 0.28, 2.08, 2.88, 3.505, 4.405, 5.0}, 7, 1,
     {"TYPE", "BASE CURVE", "DIAMETER", "POWER", "ADD"}, 5,
     {"OD", "OS"}, {NULL, NULL},
     {{14, 19}, {15, 20}, {16, 21}, {17, 22}, {18, 23}},
     2.765, 0},
    {LAYOUT_SINGLE_VISION, 0.2, {0.883, 0.913}, {1.12, 1.28, 1.42},
     {NAME_ROW,
      AMPERSAND(1), VALUE_AT(1, 6), {1, OpticalCell::PAIR, 4.0, "Issued ", 12, false},
      VALUE_AT(2, 7), ADDRESS(2), {2, OpticalCell::PAIR, 3.955, "Expires ", 13, true}}, 9,
     1.59, 1.6875,
     1.795, {2.015, 2.265}, 2,
     {0, 0.512, 1.31, 2.2125, 2.9375, 3.7, 4.3, 5.0}, 8, 1,
     {"SPHERICAL", "CYLINDRICAL", "AXIS", "PRISM", "BASE", "ADD"}, 6,
     {"Right Eye", "Left Eye"}, {NULL, NULL},
     {{14, 19}, {15, 20}, {16, 21}, {17, 22}, {18, 23}, {24, 29}},
     2.565, 0},
    {LAYOUT_DISTANCE_NEAR, 0.15, {0.875, 0.92}, {1.12, 1.28, 1.42},
     {NAME_ROW,
      AMPERSAND(1),
      VALUE_AT(2, 6), ADDRESS(2), {2, OpticalCell::PAIR, 4.125, "Date", 12, false},
      VALUE_AT(3, 7)}, 8,
     1.59, 1.6875,
     1.795, {2.015, 2.265, 2.515, 2.765}, 4,
     {0, 0.4, 1.2, 2.24, 3.3125, 3.9375, 4.5, 5.0}, 8, 2,
     {"SPHERICAL", "CYLINDRICAL", "AXIS", "PRISM", "BASE"}, 5,
     {"OD", "OS", "OD", "OS"}, {"DV", NULL, "NV", NULL},
     {{14, 19, 24, 29}, {15, 20, 25, 30}, {16, 21, 26, 31}, {17, 22, 27, 32}, {18, 23, 28, 33}},
     2.965, 0.25},
};
// clang-format on

} // namespace

const OpticalLayout &OpticalLayoutFor(OpticalLayoutId id)
{
    for (const OpticalLayout &layout : kLayouts)
        if (layout.id == id)
            return layout;
    return kLayouts[0];
}
