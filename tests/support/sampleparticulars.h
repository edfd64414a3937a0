#pragma once

#include "agreement/particulars.h"

// The particulars the tests fill agreements with: the example agreement, in dollars, on a day
// whose ordinal and month every test can spell.
inline const agreement::Particulars kSample =
    agreement::example(QDate(2021, 6, 5), QLocale(QLocale::English, QLocale::UnitedStates));
