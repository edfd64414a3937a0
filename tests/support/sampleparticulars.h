#pragma once

#include "agreement/particulars.h"

// The particulars the tests fill agreements with, typed as a user would.
inline const agreement::Particulars kSample{
    QDate(2021, 6, 5),
    QStringLiteral("Corwin Ashdale Jr."),
    QStringLiteral("Tobias Quenby"),
    QStringLiteral("Birchwood st"),
    QStringLiteral("Build a tree house"),
    QStringLiteral("$74.00"),
    QStringLiteral("One half would be payed before work start, and rest after work is finished.")};
