// Documents into fax pages: the page shapes, exact row resampling, the kinds
// of file, images scaled and dithered, PDF and PostScript through
// Ghostscript, and the errors that name the file, the page and the reason.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>

#include "document_maker.h"
#include "documents/document_error.h"
#include "documents/fax_pdf.h"
#include "documents/prepare.h"
#include "documents/sniff.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"
#include "page_compare.h"
#include "tiff_maker.h"

namespace qvfax::documents {
namespace {

using testing::ScratchPath;

std::string Folder(const std::string& name) {
  const std::string folder = ScratchPath(name);
  std::filesystem::remove_all(folder);
  return folder;
}

// The reason Prepare gives for `inputs`, or "" when it succeeds.
std::string RefusalOf(const std::vector<std::string>& inputs, PrepareOptions options = {}) {
  try {
    Prepare(inputs, Folder("refused"), options);
    return "";
  } catch (const DocumentError& e) {
    return e.what();
  }
}

bool HasInk(const pages::BitmapPage& page) {
  return std::any_of(page.bits.begin(), page.bits.end(), [](uint8_t b) { return b != 0; });
}

TEST(FaxFormat, PagesHaveTheRowsOfTheirPaperAndResolution) {
  struct Row {
    Paper paper;
    Resolution resolution;
    uint32_t rows;
  } rows[] = {{Paper::kA4, Resolution::kStandard, 1146}, {Paper::kA4, Resolution::kFine, 2292},
              {Paper::kA4, Resolution::kSuperfine, 4572}, {Paper::kLetter, Resolution::kFine, 2156},
              {Paper::kLegal, Resolution::kStandard, 1372}};
  for (const auto& row : rows) EXPECT_EQ(PageRows({row.resolution, row.paper}), row.rows) << Name(row.paper);
}

TEST(ResampleRows, CombinesRowsKeepingInkAndRepeatsThemGoingUp) {
  pages::BitmapPage page;
  page.width = 16;
  page.rows = 4;
  page.y_dpi = 391.0f;
  page.bits = {0x80, 0, 0, 0x01, 0, 0, 0, 0};  // ink in row 0 and in row 1
  const auto fine = ResampleRows(page, 196.0f);
  ASSERT_EQ(fine.rows, 2u);
  EXPECT_EQ(fine.Row(0)[0], 0x80);
  EXPECT_EQ(fine.Row(0)[1], 0x01) << "the odd row's ink is kept";
  EXPECT_EQ(fine.Row(1)[0] | fine.Row(1)[1], 0);
  const auto back = ResampleRows(fine, 391.0f);
  ASSERT_EQ(back.rows, 4u);
  EXPECT_EQ(back.Row(1)[1], 0x01);
}

TEST(Sniff, KnowsDocumentsByTheirFirstBytes) {
  const std::pair<std::string, std::string> files[] = {
      {"%PDF-1.7\n", "pdf"}, {"%!PS-Adobe-3.0\n", "ps"}, {std::string("II*\0", 4), "tiff"},
      {"\x89PNG\r\n\x1a\n", "png"}, {"\xff\xd8\xff\xe0", "jpeg"},
      {"\xef\xbb\xbf%PDF-1.4\n", "bom.pdf"}, {"\r\n\r\n%PDF-1.4\n", "crlf.pdf"},
      {std::string("II+\0\x08\0\0\0", 8), "big.tif"}, {"Dear Sir,\r\n\tthank you.\f\n", "txt"}};
  const DocumentKind kinds[] = {DocumentKind::kPdf, DocumentKind::kPostScript, DocumentKind::kTiff,
                                DocumentKind::kPng, DocumentKind::kJpeg,     DocumentKind::kPdf,
                                DocumentKind::kPdf, DocumentKind::kTiff,     DocumentKind::kText};
  for (size_t i = 0; i < std::size(files); ++i) {
    const std::string path = ScratchPath("sniff." + files[i].second);
    std::ofstream(path, std::ios::binary) << files[i].first;
    EXPECT_EQ(Sniff(path), kinds[i]) << files[i].second;
  }
}

TEST(Prepare, RefusesWhatCannotBeFaxedNamingFileAndReason) {
  const std::string empty = ScratchPath("empty.pdf"), text = ScratchPath("data.bin"),
                    folder = ScratchPath("a-folder"), broken = ScratchPath("broken.tif"),
                    bomb = ScratchPath("bomb.png"), missing = ScratchPath("missing.pdf"),
                    pipe = ScratchPath("pipe.pdf");
  std::filesystem::remove(pipe);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::ofstream(empty).flush();
  std::ofstream(text, std::ios::binary) << std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10);
  std::filesystem::create_directories(folder);
  std::ofstream(broken, std::ios::binary) << std::string("II*\0\xff\xff\xff\x7f", 8) << "garbage";
  // A PNG that declares 100,000 x 100,000 pixels in a few bytes.
  std::ofstream(bomb, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x00\0\0\0", 29)
                                        << std::string(4, '\0');
  // A JPEG whose frame declares 60,000 x 60,000.
  const std::string jpeg_bomb = ScratchPath("bomb.jpg");
  std::ofstream(jpeg_bomb, std::ios::binary)
      << std::string("\xff\xd8\xff\xc0\x00\x0b\x08\xea\x60\xea\x60\x01\x01\x11\x00\xff\xd9", 17);
  const std::pair<std::string, std::string> rows[] = {
      {missing, missing + ": no such file"},
      {empty, empty + ": an empty file"},
      {text, text + ": not a document qvfax can fax"},
      {folder, folder + ": a folder, not a document"},
      {pipe, pipe + ": not a regular file"},
      {broken, broken + ": "},
      {bomb, bomb + ": page 1: declares 100000 x 100000 pixels"},
      {jpeg_bomb, jpeg_bomb + ": page 1: declares 60000 x 60000 pixels"},
  };
  for (const auto& [file, said] : rows) {
    const std::string refusal = RefusalOf({file});
    EXPECT_EQ(refusal.rfind(said, 0), 0u) << file << " -> " << refusal;
  }
}

// Where the ink of a page lies: its first and last column and row.
struct InkBox {
  uint32_t left = UINT32_MAX, right = 0, top = UINT32_MAX, bottom = 0;
  uint32_t Width() const { return right >= left ? right - left + 1 : 0; }
  uint32_t Height() const { return bottom >= top ? bottom - top + 1 : 0; }
};

InkBox InkOf(const pages::BitmapPage& page) {
  InkBox box;
  for (uint32_t y = 0; y < page.rows; ++y) {
    for (uint32_t x = 0; x < page.width; ++x) {
      if (!page.Ink(x, y)) continue;
      box.left = std::min(box.left, x), box.right = std::max(box.right, x);
      box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

// An image keeps its size on the paper, centred at the top of a page of the
// paper; only one wider or longer than the paper is reduced. Fax pages go
// as they are, their rows resampled.
TEST(Prepare, ImagesKeepTheirSizeOnThePaper) {
  const std::string grey = testing::WriteImage(ScratchPath("grey.png"), 850, 1100, 100, false);  // 8.5 x 11 in
  const std::string a5 = testing::WriteImage(ScratchPath("a5.png"), 583, 827, 100, false);
  const std::string colour = testing::WriteImage(ScratchPath("colour.jpg"), 1275, 1650, 150, true);
  const std::string tiled = testing::WriteTiledTiff(ScratchPath("tiled.tif"), 1700, 2200);
  const std::string b4 = testing::WriteBilevelTiff(ScratchPath("b4.tif"), 2048, 2700, 196.0f);
  const std::string superfine = testing::WriteBilevelTiff(ScratchPath("superfine.tif"), 1728, 4400, 391.0f);
  const std::string big = testing::WriteBilevelTiff(ScratchPath("big.tif"), 1728, 2200, 196.0f, false, true);
  const std::string transparent = testing::WriteTransparentPng(ScratchPath("transparent.png"), 800, 800);
  // Scans and photos as they come: 600 dpi grey, a 72 dpi photo (enlarged to
  // its size), 16-bit interlaced PNG, CMYK JPEG.
  const std::string scan600 = testing::WriteImage(ScratchPath("scan600.tif"), 1800, 2400, 600, false);  // 3 x 4 in
  const std::string photo72 = testing::WriteImage(ScratchPath("photo72.jpg"), 288, 216, 72, true);      // 4 x 3 in
  const std::string scan200 = testing::WriteImage(ScratchPath("scan200.tif"), 1700, 2200, 200, false);  // Letter
  const std::string scan300 = testing::WriteImage(ScratchPath("scan300.png"), 900, 900, 300, false);    // 3 x 3 in
  const std::string deep = testing::RewriteImage(grey, ScratchPath("deep.png"), {.depth = 16, .interlaced = true});
  const std::string cmyk = testing::RewriteImage(colour, ScratchPath("cmyk.jpg"), {.cmyk = true});
  struct Row {
    std::string file;
    Resolution resolution;
    Paper paper;
    uint32_t rows;                 // of the page
    uint32_t ink_width, ink_rows;  // where the image's frame lies; 0: not checked
    double most_ink = 1.0;         // of the page's pixels
  } rows[] = {
      {grey, Resolution::kFine, Paper::kA4, 2292, 1728, 2148},
      {grey, Resolution::kStandard, Paper::kA4, 1146, 1728, 1074},
      {grey, Resolution::kFine, Paper::kLetter, 2156, 1728, 2148},
      {a5, Resolution::kFine, Paper::kA4, 2292, 1189, 1621},  // smaller than the paper: not widened
      {colour, Resolution::kFine, Paper::kA4, 2292, 1728, 2148},
      {scan600, Resolution::kFine, Paper::kA4, 2292, 612, 784},
      {scan600, Resolution::kStandard, Paper::kLetter, 1078, 612, 392},
      {photo72, Resolution::kFine, Paper::kA4, 2292, 816, 588},
      {scan200, Resolution::kFine, Paper::kLetter, 2156, 1728, 2148},  // a hair wider than the fax line: reduced
      {scan300, Resolution::kFine, Paper::kA4, 2292, 612, 588},
      {deep, Resolution::kFine, Paper::kA4, 2292, 1728, 2148},
      {cmyk, Resolution::kFine, Paper::kA4, 2292, 1728, 2148},
      {tiled, Resolution::kFine, Paper::kA4, 2292, 0, 0},
      {b4, Resolution::kFine, Paper::kA4, 2292, 1728, 2279},  // wider than the paper: reduced
      {superfine, Resolution::kFine, Paper::kA4, 2206, 0, 0},
      {superfine, Resolution::kSuperfine, Paper::kA4, 4400, 0, 0},
      {big, Resolution::kFine, Paper::kA4, 2200, 0, 0},
      // Transparent is white paper: only the opaque square is ink.
      {transparent, Resolution::kFine, Paper::kA4, 2292, 408, 392, 0.05},
  };
  for (const auto& row : rows) {
    PrepareOptions options;
    options.format = {row.resolution, row.paper};
    const auto prepared = Prepare({row.file}, Folder("images"), options);
    ASSERT_EQ(prepared.pages, 1) << row.file;
    pages::BitmapPage page;
    ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], 1, page), 0) << row.file;
    EXPECT_EQ(page.width, kFaxWidth) << row.file;
    EXPECT_EQ(page.y_dpi, YDpi(row.resolution)) << row.file;
    EXPECT_EQ(page.rows, row.rows) << row.file;
    const InkBox box = InkOf(page);
    EXPECT_GT(box.Width(), 0u) << row.file;
    if (row.ink_width) {
      EXPECT_NEAR(box.Width(), row.ink_width, 4) << row.file;
      EXPECT_NEAR(box.Height(), row.ink_rows, 4) << row.file;
      EXPECT_NEAR(box.left, (kFaxWidth - box.Width()) / 2, 4) << row.file << ": centred";
    }
    size_t ink = 0;
    for (const uint8_t b : page.bits) ink += std::popcount(b);
    EXPECT_LE(static_cast<double>(ink) / (static_cast<double>(page.width) * page.rows), row.most_ink) << row.file;
  }
}

TEST(Prepare, AGradientIsDitheredNotThresholded) {
  const std::string grey = testing::WriteImage(ScratchPath("dither.png"), 1728, 400, 204, false);
  const auto prepared = Prepare({grey}, Folder("dither"), {});
  pages::BitmapPage page;
  ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], 1, page), 0);
  // Across the middle of the image the ink thins out from left (dark) to right (light).
  const uint32_t y = InkOf(page).Height() / 2;
  auto ink = [&](uint32_t from, uint32_t to) {
    int count = 0;
    for (uint32_t x = from; x < to; ++x) count += page.Ink(x, y);
    return count;
  };
  const int left = ink(100, 500), middle = ink(700, 1100), right = ink(1300, 1700);
  EXPECT_GT(left, middle);
  EXPECT_GT(middle, right);
  EXPECT_GT(middle, 100) << "mid grey is half ink, not all white or all black";
  EXPECT_LT(middle, 300);
}

TEST(Prepare, PostScriptAndPdfBecomeFullFaxPages) {
  const std::string ps = testing::WritePostScript(ScratchPath("three.ps"), 3);
  const std::string pdf = testing::WritePdf(ScratchPath("three.pdf"), 3);
  for (const auto& [resolution, rows] : {std::pair{Resolution::kFine, 2292u}, std::pair{Resolution::kStandard, 1146u}}) {
    PrepareOptions options;
    options.format.resolution = resolution;
    const auto prepared = Prepare({ps, pdf}, Folder("rendered"), options);
    ASSERT_EQ(prepared.files.size(), 2u);
    EXPECT_EQ(prepared.pages, 6);
    for (const auto& file : prepared.files) {
      for (int number = 1; number <= 3; ++number) {
        pages::BitmapPage page;
        ASSERT_EQ(pages::ReadBitmapPage(file, number, page), 0) << file << " page " << number;
        EXPECT_EQ(page.width, kFaxWidth);
        EXPECT_EQ(page.rows, rows);
        EXPECT_EQ(page.y_dpi, YDpi(resolution));
        EXPECT_TRUE(HasInk(page));
      }
    }
  }
}

// Text as textfmt sets it: wrapped, paged, its form feeds kept, read as
// UTF-8 or else Latin-1, on the chosen paper.
TEST(Prepare, PlainTextIsSetOnPagesOfThePaper) {
  std::string letter;
  for (int i = 0; i < 70; ++i) letter += "Line " + std::to_string(i) + " of a letter, caf\xc3\xa9\n";  // a page and a bit
  letter += std::string(300, 'x') + "\f" + "After the form feed\n";
  const std::string utf8 = ScratchPath("letter.txt"), latin1 = ScratchPath("latin1.txt");
  std::ofstream(utf8, std::ios::binary) << letter;
  std::ofstream(latin1, std::ios::binary) << "Caf\xe9 cr\xe8me\n";
  for (const auto& [paper, rows] : {std::pair{Paper::kA4, 2292u}, std::pair{Paper::kLetter, 2156u}}) {
    PrepareOptions options;
    options.format.paper = paper;
    const std::string folder = Folder("text");
    const auto prepared = Prepare({utf8, latin1}, folder, options);
    EXPECT_EQ(prepared.pages, 4) << Name(paper);
    for (int number = 1; number <= 3; ++number) {
      pages::BitmapPage page;
      ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], number, page), 0) << number;
      EXPECT_EQ(page.rows, rows) << Name(paper);
      EXPECT_TRUE(HasInk(page)) << "page " << number;
    }
    // Nothing of the typesetting is left beside the pages.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) EXPECT_EQ(entry.path().extension(), ".tif");
  }
}

TEST(CoverPage, TheTemplatesFieldsAreFilledAsPostScriptStrings) {
  const CoverPage cover{"0601", "Me (office)", "Caf\xc3\xa9 \\ 100%", "line one\nline two", ""};
  EXPECT_EQ(CoverAsPostScript("@TO@|@FROM@|@SUBJECT@|@COMMENT@|@PAGES@|@DATE@|@HEIGHT@|@TO@", cover, 3,
                              "2026-12-07 10:00", Paper::kA4),
            "(0601)|(Me \\(office\\))|(Caf\\351 \\\\ 100%)|(line one line two)|(3)|(2026-12-07 10:00)|841.89|(0601)");
}

// The cover page comes first and counts; a template must make one page.
TEST(Prepare, ACoverPageComesFirstAndCounts) {
  const std::string pdf = testing::WritePdf(ScratchPath("covered.pdf"), 2);
  PrepareOptions options;
  options.cover = CoverPage{"0601", "Me", "Report", "Please read", ""};
  const auto prepared = Prepare({pdf}, Folder("covered"), options);
  EXPECT_EQ(prepared.pages, 3);
  ASSERT_EQ(prepared.files.size(), 2u);
  pages::BitmapPage page;
  ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], 1, page), 0);
  EXPECT_TRUE(HasInk(page));
  EXPECT_EQ(page.rows, PageRows(options.format));

  const std::string two_pages = ScratchPath("two-page-cover.ps");
  std::ofstream(two_pages) << "%!PS\nshowpage showpage\n";
  options.cover->template_file = two_pages;
  EXPECT_NE(RefusalOf({pdf}, options).find("made 2 pages, not 1"), std::string::npos);
}

TEST(Prepare, GhostscriptFailuresAreNamed) {
  const std::string locked = testing::WritePdf(ScratchPath("locked.pdf"), 1, "secret");
  const std::string loop = ScratchPath("loop.ps");
  std::ofstream(loop) << "%!PS\n{ 1 pop } loop\n";
  const std::string long_ps = testing::WritePostScript(ScratchPath("long.ps"), 3);
  const std::string broken = ScratchPath("broken.pdf");
  std::ofstream(broken) << "%PDF-1.4\nnothing that a PDF reader can use\n";
  PrepareOptions limited;
  limited.render.max_pages = 2;
  limited.render.time = std::chrono::milliseconds(1500);
  const std::pair<std::string, std::string> rows[] = {
      {locked, "the PDF is encrypted"},
      {loop, "Ghostscript ran past its limit"},
      {long_ps, "more than 2 pages"},
      {broken, broken + ": "},
  };
  for (const auto& [file, said] : rows) {
    const std::string refusal = RefusalOf({file}, limited);
    EXPECT_NE(refusal.find(said), std::string::npos) << file << " -> " << refusal;
  }
}

TEST(Prepare, AFailedDocumentLeavesNothingBehind) {
  const std::string good = testing::WriteBilevelTiff(ScratchPath("good.tif"), 1728, 200, 196.0f);
  const std::string folder = Folder("half");
  EXPECT_THROW(Prepare({good, ScratchPath("gone.pdf")}, folder, {}), DocumentError);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
}  // namespace qvfax::documents

namespace qvfax::documents {
namespace {

uint16_t CompressionOf(const std::string& file, int page) {
  TIFF* tiff = pages::OpenTiff(file, "r");
  uint16_t compression = 0;
  TIFFSetDirectory(tiff, static_cast<tdir_t>(page - 1));
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFClose(tiff);
  return compression;
}

// Fax pages of the wanted resolution go as they are coded (still T.4 here);
// at another resolution they are made anew (T.6).
TEST(Prepare, FaxPagesOfTheWantedResolutionGoAsTheyAreCoded) {
  // T.4 two-dimensional, as many fax programs write their pages.
  const std::string fine = testing::WriteBilevelTiff(ScratchPath("fine-t4.tif"), 1728, 2200, 196.0f, true);
  const std::tuple<Resolution, uint16_t, bool> rows[] = {{Resolution::kFine, COMPRESSION_CCITTFAX3, false},
                                                         {Resolution::kStandard, COMPRESSION_CCITTFAX4, true}};
  for (const auto& [resolution, compression, remade] : rows) {
    PrepareOptions options;
    options.format.resolution = resolution;
    const auto prepared = Prepare({fine}, Folder("fax-pages"), options);
    ASSERT_EQ(prepared.pages, 1);
    pages::BitmapPage original, page;
    ASSERT_EQ(pages::ReadBitmapPage(fine, 1, original), 0);
    ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], 1, page), 0);
    EXPECT_EQ(page.y_dpi, YDpi(resolution));
    EXPECT_EQ(CompressionOf(prepared.files[0], 1), compression);
    if (remade) {
      EXPECT_NEAR(page.rows, original.rows / 2, 1);
    } else {
      EXPECT_EQ(page.bits, original.bits);
    }
  }
}

// A received fax made a PDF: its pages, rendered again at the fax's own
// resolution, are the pages received, pixel for pixel.
TEST(FaxPdf, RendersAsTheFaxReceived) {
  for (const auto resolution : {pages::PageResolution::kFine, pages::PageResolution::kStandard}) {
    const std::string fax = testing::MakeFaxTiff(ScratchPath("received.tif"), 2, resolution);
    const std::string pdf = ScratchPath("received.pdf");
    WriteFaxPdf(fax, pdf);
    PrepareOptions options;
    options.format.resolution = resolution == pages::PageResolution::kFine ? Resolution::kFine : Resolution::kStandard;
    const auto again = Prepare({pdf}, Folder("fax-pdf"), options);
    ASSERT_EQ(again.pages, 2);
    testing::ExpectSamePages(fax, again.files[0], 2);
  }
  EXPECT_THROW(WriteFaxPdf(ScratchPath("no-such-fax.tif"), ScratchPath("none.pdf")), DocumentError);
}

}  // namespace
}  // namespace qvfax::documents
