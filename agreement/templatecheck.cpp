// templatecheck: whether a template, .doc or .docx, holds the twelve places the agreement is typed
// at, on a Letter page.
// resources/make-template.sh runs it on every template LibreOffice makes.
#include "agreement/agreementtemplate.h"
#include "doc/error.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: templatecheck TEMPLATE.doc|TEMPLATE.docx\n");
        return 2;
    }
    try {
        const QStringList problems = agreement::Template::check(
            agreement::AgreementDocument::load(argv[1], doc::WordDocument::kMaxFileBytes));
        for (const QString& problem : problems)
            std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(problem));
        if (!problems.isEmpty())
            return 1;
    } catch (const doc::Error& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    std::printf("%s: template ok\n", argv[1]);
    return 0;
}
