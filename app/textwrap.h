#pragma once

#include <QStringView>
#include <QTextOption>

// How a multi-line box wraps its text. Qt looks for a word boundary from the start of
// every word it has to break, so a word many lines long costs time quadratic in its
// length (a million letters without a blank froze start-up for minutes); such a text
// wraps anywhere instead. Ordinary words, even long ones, keep word wrapping.
namespace TextWrap
{

// Longer than any word a person types; a pasted URL or a hash still wraps at words.
inline constexpr qsizetype kLongestWord = 1000;

QTextOption::WrapMode modeFor(QStringView text);

} // namespace TextWrap
