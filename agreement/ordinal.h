#pragma once

#include <QString>

// The English ordinal of a day of the month ("1" -> "1st", "22" -> "22nd"). The text without
// its surrounding blanks must equal one of "1" to "31" exactly; anything else (01, +1, 1.0,
// 32) gives "".
QString fnDay(const QString& day);
