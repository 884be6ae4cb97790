#pragma once
// Draws a read command file over a form overlay onto a paged device (a PDF writer or
// a printer). Everything that can fail for the document itself — the overlay, the
// font, a character the font lacks — is checked by prepare() before the first page
// is drawn, so a job is either drawn whole or not at all.
//
// Overlay files are SVG. One SVG user unit is 1/15 inch on both axes (one character
// cell of the forms across; a line of the forms is 2.5 units down), with the origin at
// the top-left corner of the paper.
#include "common/gaiji.h"
#include "overlayprint/commandfile.h"
#include "overlayprint/pdfunicode.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPicture>
#include <QPointF>
#include <QRawFont>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QSvgRenderer;

namespace kov::overlayprint {

inline constexpr double kOverlayUnitsPerInch = 15.0;
// The font of the characters that the office's gaiji table names (fonts-ipamj-mincho).
inline constexpr const char* kGaijiFamily = "IPAmjMincho";

class Overlay {
public:
    Overlay();
    ~Overlay();
    Overlay(Overlay&&) noexcept;
    Overlay& operator=(Overlay&&) noexcept;

    // Loads an SVG form; false with a Japanese message naming the file when it is missing
    // or not a usable SVG.
    bool load(const std::string& path, std::string* error);
    bool loadData(const QByteArray& svg, const std::string& name, std::string* error);
    // The form (drawForm: everything but the captions) and then its captions.
    void draw(QPainter& painter, double pxPerInchX, double pxPerInchY) const;
    void drawForm(QPainter& painter, double pxPerInchX, double pxPerInchY) const;
    void drawCaptions(QPainter& painter, double pxPerInchX, double pxPerInchY) const;
    bool isLoaded() const { return m_svg != nullptr; }
    // Right and bottom edge of the form's drawing area, in inches from the paper's corner.
    QSizeF extentInches() const;

    // A caption of the form. The engine draws the <text> elements itself, as text in
    // the form's font (so they stay text in a PDF: small, searchable); the SVG renderer
    // draws everything else.
    struct Caption {
        QTransform transform; // user space of the text element (ancestors' transforms and its own)
        QPointF at; // x, y of the element
        QString text;
        QString family;
        double size = 16; // font-size in user units
        int anchor = 0; // 0 start, 1 middle, 2 end
        bool bold = false;
        QColor color;
    };
    const std::vector<Caption>& captions() const { return m_captions; }

private:
    std::unique_ptr<QSvgRenderer> m_svg;
    std::vector<Caption> m_captions;
    // The font of each caption and its shift for the anchor, worked out at the first draw.
    struct CaptionLayout {
        QFont font;
        double shift = 0;
    };
    mutable std::vector<CaptionLayout> m_layouts;
};

// Finds the overlay file in `folder`: the exact name, or else the one name that differs
// only in upper and lower case (forms are named as on the original file system).
std::string findOverlayFile(const std::string& folder, const std::string& name);

class Renderer {
public:
    Renderer(const CommandFile& doc, const Overlay& overlay, QString fontFamily);

    // The office's gaiji table and its own font (empty: none): a user-defined code that
    // the table names is drawn as its character, from kGaijiFamily when that font has it;
    // one that the table does not name is drawn from the office font when that has it,
    // else as 〓 with a warning. Set before prepare().
    void setGaiji(gaiji::Table table, QString officeFont);
    // Warnings of prepare() (Japanese): the user-defined codes drawn as 〓, with their page.
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // Whether the drawing holds characters beyond the basic plane from kGaijiFamily, whose
    // text a PDF gets only through unicodeEntries() (after render; see pdfunicode.h).
    bool needsUnicodeEntries() const { return m_beyondPlane; }
    UnicodeEntries unicodeEntries() const;

    // Finds the font and checks that every character of the document can be drawn.
    // *fontMissing tells a missing font (set-up) from a character no font has (document).
    bool prepare(std::string* error, bool* fontMissing = nullptr);
    // Page size for the device set-up.
    double pageWidthMm() const { return m_doc.pageWidthMm(); }
    double pageHeightMm() const { return m_doc.pageHeightMm(); }
    bool landscape() const { return m_doc.landscape; }
    int pageCount() const { return static_cast<int>(m_doc.pageCount()); }

    // Draws all pages; the device's page layout must already be set. The painter must
    // not be active yet. onPageDrawn, when set, is told the pages drawn so far.
    bool render(QPagedPaintDevice& device, std::string* error);
    std::function<void(int pagesDrawn)> onPageDrawn;

private:
    // The fonts at the device's resolution, the glyph cache emptied, the form recorded.
    void setUp(double dpiX, double dpiY);
    bool drawPage(QPainter& painter, std::size_t page, double dpiX, double dpiY, std::string* error);

    // A font other than the main one that has the character (only the family `only` when
    // one is named): its index into m_fallbackFamilies (added when new), or -1.
    int fallbackFor(char32_t cp, const QString& only = {});
    // Notes a glyph drawn from kGaijiFamily (as the character drawn) in the order in which
    // the PDF numbers them: the order in which their characters are first met.
    void noteTrackedGlyph(quint32 glyph, char32_t drawn);
    // Decides how a user-defined code is drawn; false with *error when it cannot be.
    bool prepareUserDefined(const UsedCharacter& used, std::string* error);

    const CommandFile& m_doc;
    const Overlay& m_overlay;
    QString m_fontFamily;
    QRawFont m_probe;
    gaiji::Table m_gaiji;
    QString m_officeFont;
    std::vector<std::string> m_warnings;
    // The installed fonts other than the main one, loaded the first time one is needed.
    QList<QRawFont> m_candidates;
    bool m_candidatesLoaded = false;
    // Characters drawn as another character (a user-defined code as the table's character or 〓).
    std::unordered_map<char32_t, char32_t> m_drawnAs;
    bool m_beyondPlane = false;
    // The run index of kGaijiFamily (-1: not used) and its glyphs in the order first drawn.
    int m_trackedFont = -1;
    std::vector<std::pair<quint32, char32_t>> m_tracked;
    // Characters that the main font lacks, drawn from another installed font; the
    // index into m_fallbackFamilies (the run's font is index + 1).
    std::unordered_map<char32_t, int> m_fallback;
    QStringList m_fallbackFamilies;

    // Set up for one device by render(): the main font (index 0) and the fallback fonts
    // at the em of the device, the glyph of each character met so far (the font's index
    // and the glyph's), and the form recorded once, played back on every page.
    struct Glyph {
        int font = 0;
        quint32 index = 0;
    };
    // The glyph of a character (looked up the first time it is met).
    const Glyph& glyphOf(char32_t cp);
    QList<QRawFont> m_fonts;
    double m_descentFraction = 0;
    std::unordered_map<char32_t, Glyph> m_glyphs;
    QPicture m_form;
};

} // namespace kov::overlayprint
