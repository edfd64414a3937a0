// How much memory the engine takes for what it is given. Its own program, since it replaces
// the global allocation functions to count the bytes in use.
#include "wordtestsupport.h"

#include <QDirIterator>
#include <QTest>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

namespace
{

// What the allocator really holds for a block.
std::size_t usableSize(void* p)
{
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}

std::atomic<std::size_t> inUse{0};
std::atomic<std::size_t> peak{0};
std::atomic<std::size_t> allocated{0};

void* allocate(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    const std::size_t usable = usableSize(p);
    allocated += usable;
    const std::size_t now = inUse += usable;
    std::size_t high = peak.load();
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
    return p;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    inUse -= usableSize(p);
    std::free(p);
}

struct Usage {
    std::size_t peak = 0;      // most bytes held at once beyond what was held before
    std::size_t allocated = 0; // all bytes handed out, freed or not
};

Usage measure(const std::function<void()>& work)
{
    const std::size_t before = inUse.load();
    const std::size_t allocatedBefore = allocated.load();
    peak = before;
    work();
    return {peak.load() - before, allocated.load() - allocatedBefore};
}

} // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
// std::stable_sort takes its buffer through these.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
void operator delete(void* p) noexcept
{
    release(p);
}
void operator delete[](void* p) noexcept
{
    release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}

using namespace wordtest;

class tst_DocumentMemory : public QObject
{
    Q_OBJECT

private slots:
    void anyInputTakesASmallMultipleOfItsSize_data();
    void anyInputTakesASmallMultipleOfItsSize();
    void longInsertionHoldsLinearMemory();
    void manyInsertionsAllocateLinearly();
};

namespace
{

// Reading holds the streams, 18 bytes for each character (at most one a byte) and the
// read model; the files here take under 8 bytes a byte, and a page listed many times or
// a table of huge counts must not lift that.
constexpr std::size_t kBytesPerInputByte = 48;
constexpr std::size_t kFixedBytes = 256 * 1024;

} // namespace

void tst_DocumentMemory::anyInputTakesASmallMultipleOfItsSize_data()
{
    QTest::addColumn<QString>("path");
    const QString fuzzCorpus = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/fuzz/corpus");
    for (const QString& root : {QStringLiteral(BRINDLEWICK_TEST_DATA), fuzzCorpus}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QTest::newRow(qPrintable(QDir(root).relativeFilePath(path))) << path;
        }
    }
    QTest::newRow("template") << templatePath();
}

void tst_DocumentMemory::anyInputTakesASmallMultipleOfItsSize()
{
    QFETCH(QString, path);
    const Bytes bytes = readFile(path);
    QVERIFY(!bytes.empty() || QFileInfo(path).size() == 0);
    const Usage usage = measure([&bytes] {
        try {
            const doc::WordDocument document = doc::WordDocument::parse(bytes);
            (void)document.mainText();
            (void)document.readModel();
        } catch (const doc::Error&) {
        }
    });
    const std::size_t limit = kBytesPerInputByte * bytes.size() + kFixedBytes;
    QVERIFY2(
        usage.peak <= limit,
        qPrintable(QStringLiteral("%1 bytes held for a %2-byte file").arg(usage.peak).arg(bytes.size())));
}

void tst_DocumentMemory::longInsertionHoldsLinearMemory()
{
    const std::u16string text(100000, u'x');
    doc::WordDocument document = doc::WordDocument::parse(readFile(templatePath()));
    std::size_t savedSize = 0;
    const Usage usage = measure([&] {
        document.insertText(300, text);
        savedSize = document.serialize().size();
    });
    QCOMPARE(document.mainTextLength(), 693u + 100000u);
    // About 32 bytes a character: the text as held and as written, its properties while
    // they grow, the saved file.
    QVERIFY2(usage.peak <= 64 * text.size() + kFixedBytes,
             qPrintable(QStringLiteral("%1 bytes held for %2 characters (saved %3)")
                            .arg(usage.peak)
                            .arg(text.size())
                            .arg(savedSize)));
}

void tst_DocumentMemory::manyInsertionsAllocateLinearly()
{
    // Copying the document on each insertion would hand out bytes in proportion to the
    // square of the insertions; growing it must not.
    constexpr std::size_t insertions = 4000;
    const std::u16string word = u"twelve chars";
    doc::WordDocument document = doc::WordDocument::parse(readFile(templatePath()));
    const Usage usage = measure([&] {
        for (std::size_t i = 0; i < insertions; ++i)
            document.insertText(std::uint32_t(300 + (i * 7919) % (i + 1)), word);
    });
    const std::size_t inserted = insertions * word.size();
    QCOMPARE(document.mainTextLength(), std::uint32_t(693 + inserted));
    // About 70 bytes a character as the text and its properties grow; a copy per insertion
    // would be thousands.
    QVERIFY2(usage.allocated <= 128 * inserted + kFixedBytes,
             qPrintable(
                 QStringLiteral("%1 bytes handed out for %2 characters").arg(usage.allocated).arg(inserted)));
}

QTEST_GUILESS_MAIN(tst_DocumentMemory)
#include "tst_documentmemory.moc"
