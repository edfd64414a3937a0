// Finding a template's tags: one pass over the text that follows Word's field nesting, so a
// template of any size or shape is read in linear time and bounded memory.

#include "doc/tags.h"

#include "doc/wordformat.h"

#include <algorithm>
#include <optional>

namespace doc::tags
{

namespace
{

namespace mark = word::mark;

// Word nests fields only a few levels deep; deeper ones are counted, not kept, and are read as
// field code throughout, so a run of begin marks costs no memory.
constexpr std::size_t kMaxFieldDepth = 256;
// A field's code kept while it is read: room for the keyword, its switches and any name that is
// not too long.
constexpr std::size_t kMaxCodeKept = 1024;

bool isBreak(char16_t c)
{
    return c == u'\r' || c == mark::CellEnd || c == mark::PageBreak || c == mark::LineBreak;
}

bool isFieldMark(char16_t c)
{
    return c == mark::FieldBegin || c == mark::FieldSeparator || c == mark::FieldEnd;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\u00a0';
}

std::u16string_view trimmed(std::u16string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The name a field's code gives when the field is a merge field: "MERGEFIELD" in any case,
// then the name, bare or in double quotes; switches after it only format the result.
std::optional<std::u16string_view> mergeFieldName(std::u16string_view code)
{
    constexpr std::u16string_view keyword = u"MERGEFIELD";
    code = trimmed(code);
    if (code.size() < keyword.size() ||
        !std::equal(keyword.begin(), keyword.end(), code.begin(),
                    [](char16_t k, char16_t c) { return k == c || k == c - (u'a' - u'A'); }))
        return std::nullopt;
    code.remove_prefix(keyword.size());
    if (!code.empty() && !isBlank(code.front()) && code.front() != u'"')
        return std::nullopt; // another keyword that begins alike
    code = trimmed(code);
    if (!code.empty() && code.front() == u'"') {
        code.remove_prefix(1);
        return trimmed(code.substr(0, code.find(u'"')));
    }
    std::size_t end = 0;
    while (end < code.size() && !isBlank(code[end]) && code[end] != u'\\' && code[end] != u'"')
        ++end;
    return code.substr(0, end);
}

class Scanner
{
public:
    Scanner(std::u16string_view text, std::uint32_t base) : mText(text), mBase(base) {}

    Scan run()
    {
        for (std::size_t i = 0; i < mText.size(); ++i) {
            const char16_t c = mText[i];
            const bool pair = i + 1 < mText.size() && mText[i + 1] == c;
            if (isFieldMark(c)) {
                if (mOpen)
                    noteFault(Fault::Kind::BrokenByField);
                if (c == mark::FieldBegin)
                    beginField(i);
                else if (c == mark::FieldSeparator)
                    separateField();
                else
                    endField(i);
                continue;
            }
            if (isBreak(c) && mOpen)
                breakTag();
            if (collectingCode())
                keepCode(c);
            if (inCode()) {
                if (c == u'{' && pair) {
                    mScan.faults.push_back({Fault::Kind::InFieldCode, cp(i)});
                    if (collectingCode())
                        keepCode(c);
                    ++i;
                }
                continue;
            }
            if (mMergeOpen)
                continue; // the merge field is the tag; its result is replaced whole
            if (c == u'{' && pair) {
                openTag(i);
                ++i;
            } else if (c == u'}' && pair && mOpen) {
                closeTag(i);
                ++i;
            }
        }
        if (mOpen)
            mScan.faults.push_back({Fault::Kind::Unclosed, cp(mTagStart)});
        // A tag's fault is known only at its end, after faults that lie inside it.
        std::stable_sort(mScan.faults.begin(), mScan.faults.end(),
                         [](const Fault& a, const Fault& b) { return a.cp < b.cp; });
        return std::move(mScan);
    }

private:
    struct Field {
        std::size_t begin;
        bool inCode;    // before its separator
        bool candidate; // outside any other field's code and merge field: it may be a tag
        bool merge;
    };

    std::uint32_t cp(std::size_t index) const { return mBase + std::uint32_t(index); }

    bool inCode() const { return mCodeDepth > 0 || mDeepFields > 0; }
    bool collectingCode() const
    {
        return mDeepFields == 0 && !mFields.empty() && mFields.back().candidate && mFields.back().inCode;
    }
    void keepCode(char16_t c)
    {
        if (mCode.size() < kMaxCodeKept)
            mCode.push_back(c);
        else
            mCodeCut = true;
    }

    void beginField(std::size_t i)
    {
        if (mDeepFields > 0 || mFields.size() == kMaxFieldDepth) {
            ++mDeepFields;
            return;
        }
        const bool candidate = !inCode() && !mMergeOpen;
        mFields.push_back({i, true, candidate, false});
        ++mCodeDepth;
        if (candidate) {
            mCode.clear();
            mCodeCut = false;
        }
    }

    void separateField()
    {
        if (mDeepFields > 0 || mFields.empty() || !mFields.back().inCode)
            return;
        endCode(mFields.back());
    }

    void endField(std::size_t i)
    {
        if (mDeepFields > 0) {
            --mDeepFields;
            return;
        }
        if (mFields.empty())
            return;
        Field field = mFields.back();
        mFields.pop_back();
        if (field.inCode)
            endCode(field);
        if (!field.merge)
            return;
        mMergeOpen = false;
        if (mMergeFault)
            mScan.faults.push_back({*mMergeFault, cp(field.begin)});
        else
            mScan.tags.push_back({cp(field.begin), std::uint32_t(i - field.begin + 1), mMergeName, true});
    }

    void endCode(Field& field)
    {
        field.inCode = false;
        --mCodeDepth;
        if (!field.candidate)
            return;
        const std::optional<std::u16string_view> name = mergeFieldName(mCode);
        if (!name)
            return;
        field.merge = true;
        mMergeOpen = true;
        const bool cutOff = mCodeCut && name->data() + name->size() == mCode.data() + mCode.size();
        mMergeFault.reset();
        if (name->empty())
            mMergeFault = Fault::Kind::Empty;
        else if (cutOff || name->size() > kMaxNameLength)
            mMergeFault = Fault::Kind::TooLong;
        else
            mMergeName = std::u16string(*name);
    }

    void openTag(std::size_t i)
    {
        if (mOpen) {
            if (!mCrossedBreak) {
                noteFault(Fault::Kind::Nested);
                return;
            }
            // The tag before ended with its paragraph and this one begins afresh.
            mScan.faults.push_back({Fault::Kind::Unclosed, cp(mTagStart)});
        }
        mOpen = true;
        mTagStart = i;
        mTagFault.reset();
        mCrossedBreak = false;
    }

    // A tag runs on over one break only when its "}}" follows in the next paragraph;
    // otherwise it was never closed.
    void breakTag()
    {
        if (mCrossedBreak) {
            mScan.faults.push_back({Fault::Kind::Unclosed, cp(mTagStart)});
            mOpen = false;
            return;
        }
        mCrossedBreak = true;
        noteFault(Fault::Kind::BrokenByParagraph);
    }

    void noteFault(Fault::Kind kind)
    {
        if (!mTagFault)
            mTagFault = kind;
    }

    void closeTag(std::size_t i)
    {
        mOpen = false;
        const std::u16string_view name = trimmed(mText.substr(mTagStart + 2, i - mTagStart - 2));
        std::optional<Fault::Kind> fault = mTagFault;
        if (!fault && name.empty())
            fault = Fault::Kind::Empty;
        else if (!fault && name.size() > kMaxNameLength)
            fault = Fault::Kind::TooLong;
        if (fault)
            mScan.faults.push_back({*fault, cp(mTagStart)});
        else
            mScan.tags.push_back(
                {cp(mTagStart), std::uint32_t(i + 2 - mTagStart), std::u16string(name), false});
    }

    std::u16string_view mText;
    std::uint32_t mBase;
    Scan mScan;

    std::vector<Field> mFields;
    std::size_t mCodeDepth = 0;  // fields of mFields before their separator
    std::size_t mDeepFields = 0; // open fields past kMaxFieldDepth
    std::u16string mCode;        // the code of the field that may be a merge field
    bool mCodeCut = false;
    bool mMergeOpen = false;
    std::u16string mMergeName;
    std::optional<Fault::Kind> mMergeFault;

    bool mOpen = false; // inside "{{"
    std::size_t mTagStart = 0;
    bool mCrossedBreak = false;
    std::optional<Fault::Kind> mTagFault;
};

bool isMark(char16_t c)
{
    return c < 0x20;
}

// Where a stories() range leaves off: the story holding cp, or the last one for the closing mark.
WordDocument::StoryRange storyAt(const std::vector<WordDocument::StoryRange>& stories, std::uint32_t cp)
{
    for (const auto& story : stories)
        if (cp - story.start < story.length)
            return story;
    return stories.empty() ? WordDocument::StoryRange{WordDocument::Story::Main, 0, 0} : stories.back();
}

} // namespace

Scan scan(std::u16string_view text, std::uint32_t base)
{
    return Scanner(text, base).run();
}

Scan scan(std::u16string_view text, const std::vector<WordDocument::StoryRange>& stories)
{
    Scan out;
    for (const auto& story : stories) {
        Scan part = scan(text.substr(story.start, story.length), story.start);
        std::move(part.tags.begin(), part.tags.end(), std::back_inserter(out.tags));
        out.faults.insert(out.faults.end(), part.faults.begin(), part.faults.end());
    }
    return out;
}

Scan scan(const WordDocument& document)
{
    return scan(document.text(), document.stories());
}

Where where(const WordDocument& document, std::uint32_t cp)
{
    return where(document.text(), document.stories(), cp);
}

Where where(std::u16string_view text, const std::vector<WordDocument::StoryRange>& stories, std::uint32_t cp)
{
    constexpr std::size_t kReach = 30; // characters each side, before trimming to whole words
    const WordDocument::StoryRange story = storyAt(stories, cp);
    const std::size_t storyEnd = std::min<std::size_t>(text.size(), std::size_t(story.start) + story.length);
    const std::size_t storyStart = std::min<std::size_t>(story.start, storyEnd);
    const std::size_t at = std::clamp<std::size_t>(cp, storyStart, storyEnd);

    Where out{story.story, 1, {}};
    for (std::size_t i = storyStart; i < at; ++i)
        if (text[i] == u'\r' || text[i] == mark::CellEnd)
            ++out.paragraph;

    const auto isGap = [&](std::size_t i) { return isBlank(text[i]) || isMark(text[i]); };
    std::size_t from = at - std::min(at - storyStart, kReach);
    std::size_t to = std::min(storyEnd, at + kReach);
    // Cut at whole words: drop a word the window begins or ends inside of.
    if (from > storyStart && !isGap(from - 1))
        while (from < at && !isGap(from))
            ++from;
    if (to < storyEnd && !isGap(to))
        while (to > at && !isGap(to - 1))
            --to;
    // Never half a surrogate pair.
    if (from < to && (text[from] & 0xFC00) == 0xDC00)
        ++from;
    if (from < to && (text[to - 1] & 0xFC00) == 0xD800)
        --to;

    for (std::size_t i = from; i < to; ++i) {
        const char16_t c = isGap(i) ? u' ' : text[i];
        if (c == u' ' && (out.context.empty() || out.context.back() == u' '))
            continue;
        out.context.push_back(c);
    }
    if (!out.context.empty() && out.context.back() == u' ')
        out.context.pop_back();
    return out;
}

} // namespace doc::tags
