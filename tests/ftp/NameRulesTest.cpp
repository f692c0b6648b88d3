#include "ftp/DibImage.h"
#include "ftp/ExecutableIcon.h"
#include "ftp/NameRules.h"
#include "ftp/ShortcutTarget.h"
#include "tests/support/GuiHarness.h"
#include "tests/support/WindowsFileBytes.h"

#include <QBuffer>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

namespace {

// Shell-link bytes whose link info holds the local base path.
std::string shellLink(const std::string& target) {
    std::string b(0x4C, '\0');
    putU32(b, 0, 0x4C);
    putU32(b, 0x14, 0x02);  // has link info
    const std::size_t info = b.size();
    const std::size_t base = 0x1C;
    const std::size_t suffix = base + target.size() + 1;
    putU32(b, info, static_cast<unsigned>(suffix + 1));
    putU32(b, info + 4, 0x1C);
    putU32(b, info + 8, 0x01);  // local base path present
    putU32(b, info + 16, static_cast<unsigned>(base));
    putU32(b, info + 24, static_cast<unsigned>(suffix));
    b.resize(info + base);
    b += target + '\0' + '\0';
    return b;
}

// The image data of the first entry of an .ico file Qt writes.
QByteArray iconEntryData(const QImage& picture) {
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    EXPECT_TRUE(writer.write(picture));
    std::string b = ico.toStdString();
    auto u32 = [&](std::size_t at) {
        return unsigned(uchar(b[at])) | unsigned(uchar(b[at + 1])) << 8 | unsigned(uchar(b[at + 2])) << 16 |
               unsigned(uchar(b[at + 3])) << 24;
    };
    return ico.mid(u32(6 + 12), u32(6 + 8));
}

std::string peWithIcon(const QByteArray& iconData) {
    return testsupport::peWithIcon(iconData.toStdString());
}

QImage redSquare() {
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(QColor(200, 0, 0));
    return picture;
}

} // namespace

TEST(NameRules, RemoteNamesFollowTheNameRuleUnlessTheKindIsKnown) {
    for (const char* name : {"readme", "old.backup", "v1.2.3-final"})
        EXPECT_TRUE(isDirectoryName(name, true)) << name;
    for (const char* name : {"index.html", "a.tar.gz", "site.v2"})
        EXPECT_FALSE(isDirectoryName(name, true)) << name;
    EXPECT_FALSE(isDirectoryName("Makefile", true, kKindFile));
    EXPECT_TRUE(isDirectoryName("index.html", true, kKindDirectory));
}

TEST(NameRules, LocalEntriesDecideByTheirRealType) {
    TempFolder folder;
    folder.write("Makefile", "all:\n");
    folder.makeFolder("site.v2");
    EXPECT_FALSE(isDirectoryName(folder.file("Makefile")));
    EXPECT_TRUE(isDirectoryName(folder.file("site.v2")));
    // Nothing on disk: the name rule.
    EXPECT_TRUE(isDirectoryName(folder.file("missing")));
    EXPECT_FALSE(isDirectoryName(folder.file("missing.txt")));
    // The remote mode never looks at the disk.
    EXPECT_TRUE(isDirectoryName(folder.file("Makefile"), true));
}

TEST(NameRules, FixedIconsFromTheTableIgnoreCase) {
    EXPECT_EQ(iconIndexFor("photo.JPG", true), 3);
    EXPECT_EQ(iconIndexFor("setup.EXE", true), 5);
    EXPECT_EQ(iconIndexFor("setup.exe", true), 4);
    EXPECT_EQ(iconIndexFor("Index.Html", true), 11);
    EXPECT_EQ(iconIndexFor("data.db", true), 8);
    EXPECT_EQ(iconIndexFor("a.png", true), 1);
    EXPECT_EQ(iconIndexFor("notes.doc", true), 5);
    EXPECT_EQ(iconIndexFor("Makefile", true), 0);
    EXPECT_EQ(iconIndexFor("Makefile", true, kKindFile), 5);
    EXPECT_EQ(iconIndexFor("a.txt", true, kKindDirectory), 0);
    // An extension that merely contains table text is no match.
    EXPECT_EQ(iconIndexFor("x.txt 7;ini", true), 5);
}

TEST(NameRules, LocalFilesWithoutDotGetTheFileIconAndFoldersTheFolderIcon) {
    TempFolder folder;
    folder.write("Makefile", "all:\n");
    folder.makeFolder("lib.d");
    EXPECT_EQ(iconIndexFor(folder.file("Makefile")), 5);
    EXPECT_EQ(iconIndexFor(folder.file("lib.d")), 0);
    EXPECT_EQ(iconIndexFor(folder.file("readme.txt")), 7);  // missing: by name
}

TEST(NameRules, ShortcutsToTextFilesGetIconOne) {
    TempFolder folder;
    folder.write("notes.txt", "x");
    ASSERT_EQ(::symlink(folder.file("notes.txt").c_str(), folder.file("notes.lnk").c_str()), 0);
    EXPECT_EQ(iconIndexFor("notes.lnk", true, kKindFile), 5);  // remote: nothing local by that name
    EXPECT_EQ(iconIndexFor(folder.file("notes.lnk"), true), 1);
    folder.write("win.lnk", shellLink("C:\\docs\\Notes.TXT"));
    EXPECT_EQ(shortcutTarget(folder.file("win.lnk")), "C:\\docs\\Notes.TXT");
    EXPECT_EQ(iconIndexFor(folder.file("win.lnk"), true), 1);
    folder.write("other.lnk", shellLink("C:\\tools\\run.bat"));
    EXPECT_EQ(iconIndexFor(folder.file("other.lnk"), true), 5);
}

TEST(NameRules, ShellLinkParsingSurvivesTruncationAndGarbage) {
    const std::string link = shellLink("C:\\a.txt");
    EXPECT_EQ(shellLinkTarget(link), "C:\\a.txt");
    for (std::size_t n = 0; n < link.size() - 1; ++n)
        EXPECT_EQ(shellLinkTarget(link.substr(0, n)), "") << n;
    std::string hostile = link;
    putU32(hostile, 0x4C + 16, 0xFFFFFFF0u);  // base path offset far outside
    EXPECT_EQ(shellLinkTarget(hostile), "");
    EXPECT_EQ(shellLinkTarget(std::string(300, '\xFF')), "");
}

TEST(ExecutableIcon, FindsTheFirstGroupIconOfAPeImage) {
    const std::string pe = peWithIcon(iconEntryData(redSquare()));
    QByteArray ico = iconFileFromExecutable(QByteArray::fromStdString(pe));
    ASSERT_FALSE(ico.isEmpty());
    QImage decoded = QImage::fromData(ico, "ico");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded.size(), QSize(16, 16));
    EXPECT_EQ(QColor(decoded.pixel(8, 8)), QColor(200, 0, 0));

    TempFolder folder;
    folder.write("tool.exe", pe);
    QImage fromFile = firstEmbeddedIcon(folder.file("tool.exe"));
    ASSERT_FALSE(fromFile.isNull());
    EXPECT_EQ(QColor(fromFile.pixel(3, 3)), QColor(200, 0, 0));
}

TEST(ExecutableIcon, TruncatedAndCorruptImagesGiveNothing) {
    const std::string pe = peWithIcon(iconEntryData(redSquare()));
    for (std::size_t n = 0; n + 1 < pe.size(); n += 3)
        EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(pe.substr(0, n))).isEmpty()) << n;
    std::string looping = pe;
    putU32(looping, 0x200 + 20, 0x80000000u);  // the type entry points back at the root
    EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(looping)).isEmpty());
    std::string farOut = pe;
    putU32(farOut, 0x3C, 0x7FFFFFF0u);
    EXPECT_TRUE(iconFileFromExecutable(QByteArray::fromStdString(farOut)).isEmpty());
    EXPECT_TRUE(iconFileFromExecutable(QByteArray(5000, 'M')).isEmpty());
}

TEST(DibImage, CapturesA32BitBmpWithStandardHeaders) {
    QImage surface(5, 3, QImage::Format_RGB32);
    surface.fill(QColor(10, 20, 30));
    surface.setPixel(0, 0, qRgb(255, 0, 0));
    DibImage dib;
    ASSERT_TRUE(dib.capture(surface, surface.rect(), 32));
    QByteArray bmp = dib.bmpFile();
    ASSERT_EQ(bmp.size(), 14 + 40 + 5 * 3 * 4);
    EXPECT_EQ(bmp.left(2), "BM");
    auto u32 = [&](int at) { return quint32(uchar(bmp[at])) | quint32(uchar(bmp[at + 1])) << 8 |
                                    quint32(uchar(bmp[at + 2])) << 16 | quint32(uchar(bmp[at + 3])) << 24; };
    EXPECT_EQ(u32(2), quint32(bmp.size()));
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 5u);
    EXPECT_EQ(u32(22), 3u);
    EXPECT_EQ(uchar(bmp[28]), 32);
    // Bottom-up rows: the top-left pixel is in the last row, blue first.
    const int topLeft = 54 + 2 * 5 * 4;
    EXPECT_EQ(uchar(bmp[topLeft + 2]), 255);
    EXPECT_EQ(uchar(bmp[topLeft]), 0);
    QImage back = QImage::fromData(bmp, "BMP");
    EXPECT_EQ(QColor(back.pixel(0, 0)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(back.pixel(4, 2)), QColor(10, 20, 30));
}

TEST(DibImage, OtherDepthsPadRowsAndReadBack) {
    QImage surface(7, 2, QImage::Format_RGB32);
    surface.fill(Qt::white);
    surface.setPixel(6, 1, qRgb(0, 0, 0));
    surface.setPixel(1, 0, qRgb(255, 0, 0));
    for (int bits : {24, 16, 8, 4}) {
        DibImage dib;
        ASSERT_TRUE(dib.capture(surface, surface.rect(), bits)) << bits;
        QImage back = QImage::fromData(dib.bmpFile(), "BMP");
        ASSERT_FALSE(back.isNull()) << bits;
        EXPECT_EQ(QColor(back.pixel(6, 1)), QColor(0, 0, 0)) << bits;
        EXPECT_EQ(QColor(back.pixel(0, 0)).lightness(), bits == 16 ? 248 : 255) << bits;
        EXPECT_EQ(QColor(back.pixel(1, 0)).red(), bits == 16 ? 248 : 255) << bits;
    }
    DibImage mono;
    ASSERT_TRUE(mono.capture(surface, surface.rect(), 1));
    EXPECT_EQ(mono.block().size(), 40 + 2 * 4 + 2 * 4);
    QImage back = QImage::fromData(mono.bmpFile(), "BMP");
    EXPECT_EQ(QColor(back.pixel(6, 1)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(back.pixel(5, 1)), QColor(255, 255, 255));
}

TEST(DibImage, RefusesOtherDepthsAndRectanglesOutsideTheSurface) {
    QImage surface(4, 4, QImage::Format_RGB32);
    surface.fill(Qt::blue);
    DibImage dib;
    EXPECT_FALSE(dib.capture(surface, surface.rect(), 2));
    EXPECT_FALSE(dib.capture(surface, QRect(2, 2, 4, 4), 32));
    EXPECT_FALSE(dib.capture(surface, QRect(), 32));
    EXPECT_TRUE(dib.bmpFile().isEmpty());
    ASSERT_TRUE(dib.capture(surface, QRect(1, 1, 2, 2), 32));
    EXPECT_EQ(dib.width(), 2);
    ASSERT_TRUE(dib.capture(surface, QRect(0, 0, 3, 1), 8));  // re-created for the new shape
    EXPECT_EQ(dib.block().size(), 40 + 256 * 4 + 4);
}

TEST(LocalIcons, OnePicturePerExtensionAndOwnIconsForExecutables) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    const int fixed = list.iconCount();
    ASSERT_EQ(fixed, kFixedIconCount);
    TempFolder folder;
    for (const char* name : {"a.xyz", "b.xyz", "c.XYZ", "tool.exe", "copy.exe", "broken.exe", "broken.EXE"})
        folder.write(name, "");
    folder.write("tool.exe", peWithIcon(iconEntryData(redSquare())));
    folder.write("copy.exe", peWithIcon(iconEntryData(redSquare())));
    folder.write("broken.exe", "MZ garbage");
    // The desktop's icon for the type: looked up and added once.
    const int shell = iconIndexFor(folder.file("a.xyz"));
    EXPECT_EQ(shell, fixed);
    EXPECT_EQ(iconIndexFor(folder.file("b.xyz")), shell);
    EXPECT_EQ(iconIndexFor(folder.file("c.XYZ")), shell);
    EXPECT_EQ(list.iconCount(), fixed + 1);
    const int before = list.iconCount();
    const int tool = iconIndexFor(folder.file("tool.exe"));
    EXPECT_EQ(tool, before);
    EXPECT_EQ(list.iconCount(), before + 1);
    EXPECT_EQ(QColor(list.iconList().image(tool).pixel(16, 16)), QColor(200, 0, 0));
    EXPECT_EQ(iconIndexFor(folder.file("copy.exe")), tool);  // the same picture is not added twice
    EXPECT_EQ(iconIndexFor(folder.file("broken.exe")), kIconExe);
    EXPECT_EQ(iconIndexFor(folder.file("broken.EXE")), kIconOtherFile);
    EXPECT_EQ(list.iconCount(), before + 1);
}
