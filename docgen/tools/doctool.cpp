// doctool: the document engine from the command line, for the people who work on it.
//   doctool text FILE                      prints the main text (paragraph marks as new lines)
//   doctool insert IN OUT CP TEXT [...]    types each TEXT at CP (counted in the document as it
//                                          stands after the previous insertions) and saves OUT
#include "doc/error.h"
#include "doc/utf.h"
#include "doc/worddocument.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace
{

// Arguments as the system hands them over: file names go to the engine untouched, TEXT and
// CP are read as UTF-16. Windows gives UTF-16 (wmain), so names outside the ANSI code page
// survive; elsewhere they are bytes, and text is UTF-8.
#ifdef _WIN32
using ArgChar = wchar_t;
std::u16string textOf(const wchar_t* arg)
{
    return std::u16string(arg, arg + std::wcslen(arg));
}
#else
using ArgChar = char;
std::u16string textOf(const char* arg)
{
    return doc::utf::fromUtf8(arg);
}
#endif

int usage()
{
    std::cerr << "usage: doctool text FILE\n"
                 "       doctool insert IN OUT CP TEXT [CP TEXT ...]\n";
    return 1;
}

int run(int argc, ArgChar** argv)
{
    if (argc < 3)
        return usage();
    const std::u16string command = textOf(argv[1]);
    try {
        if (command == u"text" && argc == 3) {
            std::u16string text = doc::WordDocument::load(std::filesystem::path(argv[2])).mainText();
            std::replace(text.begin(), text.end(), u'\r', u'\n');
            std::cout << doc::utf::toUtf8(text);
            return 0;
        }
        if (command == u"insert" && argc >= 6 && (argc - 4) % 2 == 0) {
            doc::WordDocument document = doc::WordDocument::load(std::filesystem::path(argv[2]));
            for (int i = 4; i + 1 < argc; i += 2) {
                const std::string cpText = doc::utf::toUtf8(textOf(argv[i]));
                std::uint32_t cp = 0;
                const auto [end, ec] = std::from_chars(cpText.data(), cpText.data() + cpText.size(), cp);
                if (ec != std::errc() || end != cpText.data() + cpText.size()) {
                    std::cerr << "doctool: not a character position: " << cpText << '\n';
                    return 1;
                }
                document.insertText(cp, textOf(argv[i + 1]));
            }
            document.save(std::filesystem::path(argv[3]));
            return 0;
        }
    } catch (const doc::Error& e) {
        std::cerr << "doctool: " << e.what() << '\n';
        return 1;
    }
    return usage();
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    // The same bytes as elsewhere: UTF-8, new lines without CR.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    return run(argc, argv);
}
#else
int main(int argc, char** argv)
{
    return run(argc, argv);
}
#endif
