#pragma once

#include "agreement/agreementtemplate.h"
#include "agreement/particulars.h"
#include "doc/worddocument.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace agreement
{

// " 5th " for 5 June; the ordinal comes from fnDay.
QString dayText(QDate date);
// " June, 2021": the full month name in the locale's language and every digit of the year.
QString monthText(QDate date, const QLocale& locale);

struct Insertion {
    std::uint32_t base;     // in the untouched template
    std::uint32_t position; // in the document as it stands when this text is typed
    QString text;
    std::uint32_t typedLength; // what the document takes of the text (a CR LF is one break)
};
// The twelve, in typing order.
using Insertions = std::array<Insertion, Template::kSlotCount>;

// The twelve texts in typing order, each placed at its base plus everything typed before it.
Insertions insertions(const Particulars& particulars, QDate signingDate, const QLocale& locale);

// Runs type, the typing of insertion k, as the caller reports its steps: a failure it keeps to itself
// leaves that text out and the later ones still go in.
using TypingStep =
    std::function<void(std::size_t k, const Insertion& insertion, const std::function<void()>& type)>;

// The template with the insertions typed into it, each through step when one is given.
doc::WordDocument fill(doc::WordDocument document, const Insertions& insertions, const TypingStep& step = {});
// The insertions' texts put into another copy of the agreement, such as its .docx, at the places its own
// words give (Template::basesIn), each in the look of the character before it, as typing gives it.
AgreementDocument fillAtAnchors(AgreementDocument document, const Insertions& insertions);

} // namespace agreement
