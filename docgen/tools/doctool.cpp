// doctool: the document engine from the command line, for the people who work on it.
//   doctool text FILE                      prints the main text (paragraph marks as new lines)
//   doctool insert IN OUT CP TEXT [...]    types each TEXT at CP (counted in the document as it
//                                          stands after the previous insertions) and saves OUT
#include "error.h"
#include "utf.h"
#include "worddocument.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace
{

int usage()
{
    std::cerr << "usage: doctool text FILE\n"
                 "       doctool insert IN OUT CP TEXT [CP TEXT ...]\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string_view command = argv[1];
    try {
        if (command == "text" && argc == 3) {
            std::u16string text = doc::WordDocument::load(argv[2]).mainText();
            std::replace(text.begin(), text.end(), u'\r', u'\n');
            std::cout << doc::utf::toUtf8(text);
            return 0;
        }
        if (command == "insert" && argc >= 6 && (argc - 4) % 2 == 0) {
            doc::WordDocument document = doc::WordDocument::load(argv[2]);
            for (int i = 4; i + 1 < argc; i += 2) {
                const std::string_view cpText = argv[i];
                std::uint32_t cp = 0;
                const auto [end, ec] = std::from_chars(cpText.data(), cpText.data() + cpText.size(), cp);
                if (ec != std::errc() || end != cpText.data() + cpText.size()) {
                    std::cerr << "doctool: not a character position: " << cpText << '\n';
                    return 1;
                }
                document.insertText(cp, doc::utf::fromUtf8(argv[i + 1]));
            }
            document.save(argv[3]);
            return 0;
        }
    } catch (const doc::Error& e) {
        std::cerr << "doctool: " << e.what() << '\n';
        return 1;
    }
    return usage();
}
