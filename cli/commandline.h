#pragma once

#include "agreement/agreementdocument.h"

#include <optional>

// The program run with arguments: fill one agreement, merge a client list into many, read
// the particulars back from a saved one. No window and no display are needed.
namespace cli
{

enum ExitStatus {
    kOk = 0,
    kFailed = 1, // the input could not be used, or some of a merge's rows were not made
    kUsage = 2,  // the command line itself is wrong; nothing was written
};

// The files the program writes, each known by the extension of its name: a Word document in one of
// the agreement's formats, or PDF. merge's --format names them by the extension without its dot.
struct OutputFormat {
    const char* extension;
    std::optional<agreement::DocumentFormat> document; // none: PDF
};
inline constexpr OutputFormat kOutputFormats[] = {
    {agreement::extension(agreement::DocumentFormat::Doc), agreement::DocumentFormat::Doc},
    {agreement::extension(agreement::DocumentFormat::Docx), agreement::DocumentFormat::Docx},
    {".pdf", std::nullopt},
};

// What the command line says of its own. %1 is an option, a file or a row as each says.
namespace Text
{
inline constexpr char kUnknownOption[] = "unknown option %1";
inline constexpr char kUnknownCommand[] = "unknown command %1";
inline constexpr char kMissingValue[] = "%1 needs a value";
inline constexpr char kMissingOption[] = "%1 is missing";
inline constexpr char kExtraArgument[] = "unexpected argument %1";
inline constexpr char kBadLocale[] = "%1: no such locale";
// %1 is the option (or the file -o names), %2 why its value is refused.
inline constexpr char kBadValue[] = "%1: %2";
// %2 lists the extensions of kOutputFormats.
inline constexpr char kUnwrittenFormat[] = "%1: the program writes only %2 files";
inline constexpr char kTerminal[] =
    "the agreement is not written to a terminal: send standard output to a file or "
    "a pipe";
// %1 is the system's reason.
inline constexpr char kStandardOutputFailed[] = "standard output cannot be written: %1";
inline constexpr char kNoFolder[] = "%1: no such folder";
inline constexpr char kNotAFolder[] = "%1: not a folder";
inline constexpr char kUnwritableFolder[] = "%1: the folder cannot be written to";
// %2 is the system's reason.
inline constexpr char kFolderNotMade[] = "%1: the folder cannot be made: %2";
inline constexpr char kReadAsWindows1252[] = "not UTF-8: read as Windows-1252";
inline constexpr char kUnknownColumn[] = "column \"%1\" names no particular; it is left unread";
inline constexpr char kBadField[] = "--field %1: write it as \"NAME=VALUE\"";
inline constexpr char kUnknownField[] = "--field %1 names no particular of the template; it is left unread";
inline constexpr char kMissingField[] =
    "the template's particular \"%1\" has no value: give --field \"%1=VALUE\"";
// %1 is the row, %2 the column, %3 the reason.
inline constexpr char kRowColumnProblem[] = "row %1, column %2: %3";
inline constexpr char kRowProblem[] = "row %1: %2";
// %1 is the file made or left.
inline constexpr char kExists[] = "%1 exists and is left as it is (--force replaces it)";
// %1 is the file made, %2 where the characters no installed font draws stand
// (FilledAgreement::undrawnWhere). The file is made all the same.
inline constexpr char kUndrawn[] = "%1: some characters show as boxes, as no installed font has them: %2";
// %1 is the template, %2 the picture's number in reading order, %3 its story (TagTemplateText::kInMain
// ...), %4 its paragraph there, %5 its kind (render::pictureName).
inline constexpr char kUndrawnPicture[] =
    "%1: picture %2 (%3, paragraph %4): the preview cannot draw this %5 and shows a framed box in its place";
// %1 made, %2 skipped, %3 failed, %4 seconds.
inline constexpr char kSummary[] = "%1 made, %2 skipped, %3 failed in %4 s";
} // namespace Text

// argv as main() has it; argv[1] is the command or a top-level option.
int run(int argc, char** argv);

} // namespace cli
