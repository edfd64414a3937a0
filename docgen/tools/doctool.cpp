// doctool: the document engine from the command line, for the people who work on it.
//   doctool text FILE                      prints the main text (paragraph marks as new lines)
//   doctool insert IN OUT CP TEXT [...]    types each TEXT at CP (counted in the document as it
//                                          stands after the previous insertions) and saves OUT
#include "error.h"
#include "worddocument.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace {

std::u16string fromUtf8(std::string_view in)
{
    std::u16string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6 && i + 1 < in.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c >> 4) == 0xE && i + 2 < in.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(in[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c >> 3) == 0x1E && i + 3 < in.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(in[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(in[i + 3]) & 0x3Fu);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string toUtf8(std::u16string_view in)
{
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[++i] - 0xDC00);
        if (cp == u'\r')
            cp = u'\n';
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

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
            std::cout << toUtf8(doc::WordDocument::load(argv[2]).mainText());
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
                document.insertText(cp, fromUtf8(argv[i + 1]));
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
