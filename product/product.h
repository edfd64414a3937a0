#pragma once

// The product's facts, each kept here once.
namespace Product
{
// Both windows' caption and the settings section.
inline constexpr char kName[] = "Brindlewick Paperwork Studio";
// The agreement's name: print jobs and the PDF are titled with it, and the PDF dialog suggests it.
inline constexpr char kDocumentName[] = "Contractor Agreement";
// The settings store's application name.
inline constexpr char kOrganization[] = "Quillmark";
// Major.minor. CMake reads the facts the packages and the Windows version resource need from
// here (cmake/ProductFacts.cmake).
inline constexpr char kVersion[] = "1.0";
inline constexpr char kCopyright[] = "Copyright 2026 Quillmark";
// The desktop entry's name, from the vendor's address.
inline constexpr char kDesktopId[] = "example.quillmark.BrindlewickPaperworkStudio";
// The tag every error report names its handlers by.
inline constexpr char kProjectTag[] = "Pactforge2021/08/31";
inline constexpr char kSupportEmail[] = "support@quillmark.example";
inline constexpr char kHomePage[] = "https://www.quillmark.example/";
inline constexpr char kContactPage[] = "https://www.quillmark.example/contact/";
} // namespace Product
