#include "renderer.h"

#include "common/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <utility>

namespace kov::overlayprint {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool isBlank(char32_t cp) { return cp == U' ' || cp == U'\u3000'; }

// The page (from 1) on which a line of the command file stands.
std::size_t pageOfLine(const CommandFile& doc, std::size_t line)
{
    std::size_t page = 0;
    for (std::size_t i = 0; i < doc.pageCount(); ++i) {
        if ((doc.source ? doc.spans[i].firstLine : doc.pages[i].firstLine) > line) break;
        page = i;
    }
    return page + 1;
}

} // namespace

Overlay::Overlay() = default;
Overlay::~Overlay() = default;
Overlay::Overlay(Overlay&&) noexcept = default;
Overlay& Overlay::operator=(Overlay&&) noexcept = default;

bool Overlay::load(const std::string& path, std::string* error)
{
    QFile f(qs(path));
    if (!f.exists()) {
        if (error) *error = "様式ファイル（オーバーレイ）「" + path + "」が見つかりません。";
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = "様式ファイル（オーバーレイ）「" + path + "」を開けません。";
        return false;
    }
    constexpr qint64 kMaxOverlayBytes = 16 * 1024 * 1024;
    if (f.size() > kMaxOverlayBytes) {
        if (error) *error = "様式ファイル（オーバーレイ）「" + path + "」が大きすぎます（16 MiB を超えています）。";
        return false;
    }
    return loadData(f.readAll(), path, error);
}

namespace {

// An SVG transform list ("translate(1,2) scale(0.5,1)"); false when it cannot be read.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): one branch per SVG transform, as the format lists them
bool parseTransform(const QString& list, QTransform* out)
{
    static const QRegularExpression op(QStringLiteral("\\s*(\\w+)\\s*\\(([^)]*)\\)\\s*,?"));
    QTransform result;
    qsizetype at = 0;
    while (at < list.size()) {
        const auto m =
            op.match(list, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch()) return list.mid(at).trimmed().isEmpty();
        at = m.capturedEnd();
        QList<double> v;
        for (const QString& n :
             m.captured(2).split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
            bool ok = false;
            v.append(n.toDouble(&ok));
            if (!ok) return false;
        }
        const QString name = m.captured(1);
        QTransform t;
        if (name == QLatin1String("translate") && (v.size() == 1 || v.size() == 2)) {
            t = QTransform::fromTranslate(v[0], v.size() == 2 ? v[1] : 0);
        } else if (name == QLatin1String("scale") && (v.size() == 1 || v.size() == 2)) {
            t = QTransform::fromScale(v[0], v.size() == 2 ? v[1] : v[0]);
        } else if (name == QLatin1String("matrix") && v.size() == 6) {
            t = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
        } else if (name == QLatin1String("rotate") && v.size() == 1) {
            t.rotate(v[0]);
        } else {
            return false;
        }
        // "A B" applies B first: in Qt's row-vector form that is B * A.
        result = t * result;
    }
    *out = result;
    return true;
}

double svgLength(const QString& v, double fallback)
{
    QString t = v.trimmed();
    if (t.endsWith(QLatin1String("px"))) t.chop(2);
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && d > 0 ? d : fallback;
}

// Inherited presentation attributes of the captions, from attributes or a style="".
struct TextStyle {
    QString family = QStringLiteral("IPAGothic");
    double size = 16;
    int anchor = 0;
    bool bold = false;
    QColor color = Qt::black;
    QTransform ctm;
};

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one branch per inherited attribute, as SVG lists them
TextStyle inherit(const TextStyle& parent, const QXmlStreamAttributes& attrs, bool* transformOk)
{
    TextStyle s = parent;
    QList<std::pair<QString, QString>> props;
    for (const auto& a : attrs) props.append({a.name().toString(), a.value().toString()});
    for (const QString& decl :
         attrs.value(QLatin1String("style")).toString().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype colon = decl.indexOf(QLatin1Char(':'));
        if (colon > 0) props.append({decl.left(colon).trimmed(), decl.mid(colon + 1).trimmed()});
    }
    for (const auto& [name, value] : props) {
        if (name == QLatin1String("font-family")) {
            QString f = value.split(QLatin1Char(',')).front().trimmed();
            f.remove(QLatin1Char('\'')).remove(QLatin1Char('"'));
            if (!f.isEmpty()) s.family = f;
        } else if (name == QLatin1String("font-size")) {
            s.size = svgLength(value, s.size);
        } else if (name == QLatin1String("text-anchor")) {
            s.anchor = value == QLatin1String("middle") ? 1 : value == QLatin1String("end") ? 2 : 0;
        } else if (name == QLatin1String("font-weight")) {
            s.bold = value == QLatin1String("bold") || value.toInt() >= 600;
        } else if (name == QLatin1String("fill")) {
            const QColor c = QColor::fromString(value);
            if (c.isValid()) s.color = c;
        }
    }
    const QString tf = attrs.value(QLatin1String("transform")).toString();
    if (!tf.isEmpty()) {
        QTransform t;
        if (!parseTransform(tf, &t)) *transformOk = false;
        s.ctm = t * parent.ctm;
    }
    return s;
}

// Numbers of a form: the forms are drawn in units of 1/15 inch on one sheet, so no length,
// position or size needs more than a few hundred units, and a transform does not enlarge
// more than a few times. A number far beyond that (font-size="1e30", scale(1e300)) cannot
// be written into a PDF that any reader opens: such a form is refused.
constexpr double kMaxFormNumber = 10000.0;
constexpr double kMaxFormScale = 100.0;

bool isGeometry(QStringView name)
{
    static const char* const kNames[] = {"x",
                                         "y",
                                         "x1",
                                         "y1",
                                         "x2",
                                         "y2",
                                         "cx",
                                         "cy",
                                         "r",
                                         "rx",
                                         "ry",
                                         "dx",
                                         "dy",
                                         "width",
                                         "height",
                                         "d",
                                         "points",
                                         "transform",
                                         "viewBox",
                                         "font-size",
                                         "stroke-width",
                                         "stroke-dasharray",
                                         "stroke-dashoffset",
                                         "stroke-miterlimit",
                                         "letter-spacing",
                                         "word-spacing",
                                         "rotate",
                                         "offset"};
    for (const char* n : kNames)
        if (name == QLatin1String(n)) return true;
    return false;
}

// The first number of value that is not finite or lies beyond kMaxFormNumber; empty when
// all are usable.
QString absurdNumber(const QString& value)
{
    static const QRegularExpression number(
        QStringLiteral("[-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?|(?i:inf(?:inity)?|nan)"));
    for (auto it = number.globalMatch(value); it.hasNext();) {
        const QString token = it.next().captured(0);
        bool ok = false;
        const double v = token.toDouble(&ok);
        if (!ok || !std::isfinite(v) || std::abs(v) > kMaxFormNumber) return token;
    }
    return {};
}

// Checks the numbers of one element (its attributes and its style="") and the transform
// that its ancestors and it make together; a message naming the form, the line and the
// attribute, or empty.
std::string checkFormNumbers(const QXmlStreamReader& in, const QTransform& ctm, const std::string& name)
{
    const std::string at =
        "様式ファイル（オーバーレイ）「" + name + "」の " + std::to_string(in.lineNumber()) + " 行目";
    QList<std::pair<QString, QString>> props;
    for (const auto& a : in.attributes()) props.append({a.name().toString(), a.value().toString()});
    for (const QString& decl :
         in.attributes().value(QLatin1String("style")).toString().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype colon = decl.indexOf(QLatin1Char(':'));
        if (colon > 0) props.append({decl.left(colon).trimmed(), decl.mid(colon + 1).trimmed()});
    }
    for (const auto& [attr, value] : props) {
        if (!isGeometry(attr)) continue;
        const QString bad = absurdNumber(value);
        if (!bad.isEmpty()) {
            return at + "の " + attr.toStdString() + "「" + bad.toStdString() + "」は大きすぎて描けません（数値は ±" +
                   std::to_string(static_cast<int>(kMaxFormNumber)) + " までです）。";
        }
    }
    const double parts[] = {ctm.m11(), ctm.m12(), ctm.m21(), ctm.m22()};
    for (double v : parts) {
        if (!std::isfinite(v) || std::abs(v) > kMaxFormScale) {
            return at + "の transform は拡大が大きすぎて描けません（重ねた transform で " +
                   std::to_string(static_cast<int>(kMaxFormScale)) + " 倍までです）。";
        }
    }
    if (!std::isfinite(ctm.dx()) || !std::isfinite(ctm.dy()) || std::abs(ctm.dx()) > kMaxFormNumber ||
        std::abs(ctm.dy()) > kMaxFormNumber)
        return at + "の transform は移動が大きすぎて描けません。";
    return {};
}

} // namespace

// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity): one pass over the form's XML
bool Overlay::loadData(const QByteArray& svg, const std::string& name, std::string* error)
{
    auto broken = [&](const std::string& why) {
        if (error) *error = "様式ファイル（オーバーレイ）「" + name + "」が SVG として読めません（" + why + "）。";
        return false;
    };
    if (svg.trimmed().isEmpty()) return broken("ファイルが空です");

    // Split the captions off: the SVG renderer gets the form without its <text> elements.
    std::vector<Caption> captions;
    QByteArray ruling;
    {
        QXmlStreamReader in(svg);
        QXmlStreamWriter out(&ruling);
        std::vector<TextStyle> styles{TextStyle{}};
        bool transformOk = true;
        while (!in.atEnd()) {
            in.readNext();
            if (in.isStartElement()) {
                styles.push_back(inherit(styles.back(), in.attributes(), &transformOk));
                if (!transformOk)
                    return broken("transform「" +
                                  in.attributes().value(QLatin1String("transform")).toString().toStdString() + "」");
                const std::string absurd = checkFormNumbers(in, styles.back().ctm, name);
                if (!absurd.empty()) {
                    if (error) *error = absurd;
                    return false;
                }
                if (in.name() == QLatin1String("text")) {
                    Caption c;
                    const TextStyle& st = styles.back();
                    c.transform = st.ctm;
                    c.at = QPointF(svgLength(in.attributes().value(QLatin1String("x")).toString(), 0),
                                   svgLength(in.attributes().value(QLatin1String("y")).toString(), 0));
                    c.family = st.family;
                    c.size = st.size;
                    c.anchor = st.anchor;
                    c.bold = st.bold;
                    c.color = st.color;
                    // The characters of the element and its <tspan>s, blanks collapsed.
                    c.text = in.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
                    styles.pop_back();
                    if (in.hasError()) break;
                    if (!c.text.isEmpty()) captions.push_back(std::move(c));
                    continue;
                }
            } else if (in.isEndElement()) {
                styles.pop_back();
            }
            out.writeCurrentToken(in);
        }
        if (in.hasError()) return broken("XML の形が崩れています、" + std::to_string(in.lineNumber()) + " 行目");
    }
    auto r = std::make_unique<QSvgRenderer>();
    if (!r->load(ruling) || !r->isValid()) return broken("壊れているか、様式ファイルではありません");
    const QRectF vb = r->viewBoxF();
    if (!(vb.width() > 0 && vb.height() > 0)) {
        if (error) *error = "様式ファイル（オーバーレイ）「" + name + "」に viewBox（図の範囲）がありません。";
        return false;
    }
    m_svg = std::move(r);
    m_captions = std::move(captions);
    return true;
}

QSizeF Overlay::extentInches() const
{
    if (!m_svg) return {};
    const QRectF vb = m_svg->viewBoxF();
    return QSizeF(vb.right() / kOverlayUnitsPerInch, vb.bottom() / kOverlayUnitsPerInch);
}

void Overlay::draw(QPainter& painter, double pxPerInchX, double pxPerInchY) const
{
    drawForm(painter, pxPerInchX, pxPerInchY);
    drawCaptions(painter, pxPerInchX, pxPerInchY);
}

void Overlay::drawForm(QPainter& painter, double pxPerInchX, double pxPerInchY) const
{
    if (!m_svg) return;
    const QRectF vb = m_svg->viewBoxF();
    const double ux = pxPerInchX / kOverlayUnitsPerInch;
    const double uy = pxPerInchY / kOverlayUnitsPerInch;
    painter.save();
    m_svg->render(&painter, QRectF(vb.x() * ux, vb.y() * uy, vb.width() * ux, vb.height() * uy));
    painter.restore();
}

void Overlay::drawCaptions(QPainter& painter, double pxPerInchX, double pxPerInchY) const
{
    if (!m_svg) return;
    // Captions: laid out at 100 pixels to the em and scaled to their size, so that small
    // sizes keep exact proportions.
    if (m_layouts.size() != m_captions.size()) {
        m_layouts.clear();
        for (const Caption& c : m_captions) {
            QFont font(c.family);
            font.setPixelSize(100);
            font.setBold(c.bold);
            font.setHintingPreference(QFont::PreferNoHinting);
            const double width = QFontMetricsF(font).horizontalAdvance(c.text);
            m_layouts.push_back({font, c.anchor == 1 ? width / 2 : c.anchor == 2 ? width : 0});
        }
    }
    const QTransform device =
        QTransform::fromScale(pxPerInchX / kOverlayUnitsPerInch, pxPerInchY / kOverlayUnitsPerInch);
    for (std::size_t i = 0; i < m_captions.size(); ++i) {
        const Caption& c = m_captions[i];
        painter.save();
        painter.setTransform(c.transform * device);
        painter.translate(c.at);
        painter.scale(c.size / 100.0, c.size / 100.0);
        painter.setFont(m_layouts[i].font);
        painter.setPen(c.color);
        painter.drawText(QPointF(-m_layouts[i].shift, 0), c.text);
        painter.restore();
    }
}

std::string findOverlayFile(const std::string& folder, const std::string& name)
{
    const QString path = QDir(qs(folder)).filePath(qs(name));
    if (QFileInfo::exists(path) || QFileInfo(qs(name)).isAbsolute()) return path.toStdString();
    QDir dir(qs(folder));
    QString found;
    for (const QString& entry : dir.entryList(QDir::Files)) {
        if (entry.compare(qs(name), Qt::CaseInsensitive) == 0) {
            if (!found.isEmpty()) return path.toStdString(); // ambiguous: report the exact name
            found = entry;
        }
    }
    return found.isEmpty() ? path.toStdString() : dir.filePath(found).toStdString();
}

Renderer::Renderer(const CommandFile& doc, const Overlay& overlay, QString fontFamily)
    : m_doc(doc), m_overlay(overlay), m_fontFamily(std::move(fontFamily))
{
}

void Renderer::setGaiji(gaiji::Table table, QString officeFont)
{
    m_gaiji = std::move(table);
    m_officeFont = std::move(officeFont);
}

// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity): each check names its own fault
bool Renderer::prepare(std::string* error, bool* fontMissing)
{
    if (fontMissing) *fontMissing = false;
    QFont font(m_fontFamily);
    font.setPixelSize(100);
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setHintingPreference(QFont::PreferNoHinting);
    m_probe = QRawFont::fromFont(font);
    if (!m_probe.isValid() || m_probe.familyName().compare(m_fontFamily, Qt::CaseInsensitive) != 0) {
        if (fontMissing) *fontMissing = true;
        if (error) {
            *error = "日本語フォント「" + m_fontFamily.toStdString() +
                     "」が見つかりません（fonts-ipafont-gothic を入れるか、OVLPRINT.INI の Font を直してください）。";
        }
        return false;
    }
    // Every character must be printable: from the font, or else from another installed
    // font that has it (the code page holds a few symbols that Japanese fonts lack).
    // One that no font has would print as an empty box: that is refused.
    m_warnings.clear();
    for (const UsedCharacter& used : m_doc.characters) {
        const char32_t cp = used.cp;
        if (gaiji::isUserDefined(cp)) {
            if (!prepareUserDefined(used, error)) return false;
            continue;
        }
        if (isBlank(cp) || m_probe.supportsCharacter(static_cast<uint>(cp))) continue;
        if (const int f = fallbackFor(cp); f >= 0) {
            m_fallback[cp] = f;
            continue;
        }
        if (error) {
            *error = std::to_string(used.line) + " 行目: 文字「" + text::encode(cp) + "」(U+" + text::hexCode(cp, 4) +
                     ") はどのフォントにもないため印刷できません（フォント「" + m_fontFamily.toStdString() + "」）。";
        }
        return false;
    }
    return true;
}

int Renderer::fallbackFor(char32_t cp, const QString& only)
{
    if (!m_candidatesLoaded) {
        m_candidatesLoaded = true;
        for (const QString& family : QFontDatabase::families()) {
            if (family.compare(m_fontFamily, Qt::CaseInsensitive) == 0) continue;
            QFont f(family);
            f.setPixelSize(100);
            f.setStyleStrategy(QFont::NoFontMerging);
            QRawFont raw = QRawFont::fromFont(f);
            if (raw.isValid() && raw.familyName() == family) m_candidates.append(raw);
        }
    }
    for (const QRawFont& raw : m_candidates) {
        if (!only.isEmpty() && raw.familyName().compare(only, Qt::CaseInsensitive) != 0) continue;
        if (!raw.supportsCharacter(static_cast<uint>(cp))) continue;
        qsizetype idx = m_fallbackFamilies.indexOf(raw.familyName());
        if (idx < 0) {
            m_fallbackFamilies.append(raw.familyName());
            idx = m_fallbackFamilies.size() - 1;
        }
        return static_cast<int>(idx);
    }
    return -1;
}

bool Renderer::prepareUserDefined(const UsedCharacter& used, std::string* error)
{
    const char32_t cp = used.cp;
    const std::string code =
        "外字 " + text::hexCode(gaiji::userDefinedBytes(cp), 4) + " (U+" + text::hexCode(cp, 4) + ")";
    if (const std::optional<char32_t> character = m_gaiji.characterOf(cp)) {
        // The character of the office's table, from the font made for names when it has it.
        m_drawnAs[cp] = *character;
        int f = fallbackFor(*character, QString::fromLatin1(kGaijiFamily));
        if (f < 0 && m_probe.supportsCharacter(static_cast<uint>(*character))) return true;
        if (f < 0) f = fallbackFor(*character);
        if (f >= 0) {
            m_fallback[cp] = f;
            m_beyondPlane = m_beyondPlane || (*character > 0xFFFF && m_fallbackFamilies[f] == kGaijiFamily);
            return true;
        }
        if (error) {
            *error = std::to_string(used.line) + " 行目: " + code + " の文字「" + text::encode(*character) +
                     "」はどのフォントにもないため印刷できません（fonts-ipamj-mincho を入れてください）。";
        }
        return false;
    }
    if (!m_officeFont.isEmpty()) {
        if (const int f = fallbackFor(cp, m_officeFont); f >= 0) {
            m_fallback[cp] = f;
            return true;
        }
    }
    m_drawnAs[cp] = U'\u3013';
    m_warnings.push_back(std::to_string(pageOfLine(m_doc, used.line)) + " ページ目の" + code + " は外字表「" +
                         m_gaiji.iniPath() + "」になく、外字フォントにもないため、〓 で印刷しました。");
    return true;
}

void Renderer::setUp(double dpiX, double dpiY)
{
    // A full-width character is two cells wide and as high: the em of the font.
    const double emPx = 2.0 * dpiX / m_doc.charsPerInch;
    // The main font is run 0; fonts for the few characters it lacks follow.
    m_fonts.clear();
    for (const QString& family : QStringList{m_fontFamily} + m_fallbackFamilies) {
        QFont font(family);
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): sizes are positive; the PDFs depend on this rounding
        font.setPixelSize(std::max(1, static_cast<int>(emPx + 0.5)));
        font.setStyleStrategy(QFont::NoFontMerging);
        font.setHintingPreference(QFont::PreferNoHinting);
        QRawFont r = QRawFont::fromFont(font);
        r.setPixelSize(emPx);
        m_fonts.append(r);
    }
    m_trackedFont = m_beyondPlane ? static_cast<int>(m_fallbackFamilies.indexOf(kGaijiFamily)) + 1 : -1;
    m_tracked.clear();
    const QRawFont& raw = m_fonts.front();
    m_descentFraction = raw.descent() / (raw.ascent() + raw.descent());
    m_glyphs.clear();
    // The form is the same on every page: drawn once into a recording, played back per page.
    m_form = QPicture();
    QPainter recorder(&m_form);
    m_overlay.drawForm(recorder, dpiX, dpiY);
    recorder.end();
}

const Renderer::Glyph& Renderer::glyphOf(char32_t cp)
{
    // Each character's glyph is looked up once a job.
    auto g = m_glyphs.find(cp);
    if (g != m_glyphs.end()) return g->second;
    const auto fb = m_fallback.find(cp);
    const int f = fb == m_fallback.end() ? 0 : fb->second + 1;
    const auto drawn = m_drawnAs.find(cp);
    const char32_t one[] = {drawn == m_drawnAs.end() ? cp : drawn->second};
    const QList<quint32> found = m_fonts[f].glyphIndexesForString(QString::fromUcs4(one, 1));
    // A fallback character that its font cannot give is left out, as before.
    g = m_glyphs.emplace(cp, Glyph{found.isEmpty() ? -1 : f, found.isEmpty() ? 0 : found.front()}).first;
    if (g->second.font >= 0 && g->second.font == m_trackedFont) noteTrackedGlyph(g->second.index, one[0]);
    return g->second;
}

void Renderer::noteTrackedGlyph(quint32 glyph, char32_t cp)
{
    for (const auto& tracked : m_tracked)
        if (tracked.first == glyph) return;
    m_tracked.emplace_back(glyph, cp);
}

UnicodeEntries Renderer::unicodeEntries() const
{
    // The PDF numbers a font's glyphs in the order first drawn, after its glyph 0.
    UnicodeEntries entries;
    for (std::size_t i = 0; i < m_tracked.size(); ++i)
        if (m_tracked[i].second > 0xFFFF) entries.emplace_back(static_cast<unsigned>(i + 1), m_tracked[i].second);
    return entries;
}

bool Renderer::render(QPagedPaintDevice& device, std::string* error)
{
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error) *error = "印刷先に描けません（出力先を開けません）。";
        return false;
    }
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    setUp(dpiX, dpiY);
    for (std::size_t i = 0; i < m_doc.pageCount(); ++i) {
        if (i > 0 && !device.newPage()) {
            painter.end();
            if (error) *error = "印刷先に新しいページを作れません。";
            return false;
        }
        if (!drawPage(painter, i, dpiX, dpiY, error)) {
            painter.end();
            return false;
        }
        if (onPageDrawn) onPageDrawn(static_cast<int>(i) + 1);
    }
    if (!painter.end()) {
        if (error) *error = "印刷先への書き出しが終わりませんでした。";
        return false;
    }
    return true;
}

// Longer than the function limits on purpose: the engine's hottest path, one page's pen,
// glyph lists and transform in one place; split only beside the engine-pdf benchmark.
// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity)
bool Renderer::drawPage(QPainter& painter, std::size_t page, double dpiX, double dpiY, std::string* error)
{
    // A recording plays back enlarged by the device's resolution over its own: undone here.
    painter.resetTransform();
    painter.scale(m_form.logicalDpiX() / dpiX, m_form.logicalDpiY() / dpiY);
    painter.drawPicture(0, 0, m_form);
    painter.resetTransform();
    m_overlay.drawCaptions(painter, dpiX, dpiY);
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing, true);

    const double cellPx = dpiX / m_doc.charsPerInch;
    const double linePx = dpiY / m_doc.linesPerInch;
    const double yScale = dpiY / dpiX; // the em was set in x pixels
    const double emLinesPx = m_doc.emLines() * linePx;
    const double gapPx = m_doc.textGapLines() * linePx;

    const QPen textPen(Qt::black);
    painter.setPen(textPen);
    bool textPenSet = true;
    std::vector<QList<quint32>> glyphs(static_cast<std::size_t>(m_fonts.size()));
    std::vector<QList<QPointF>> positions(glyphs.size());
    QGlyphRun run;
    // Commands are drawn as they are read again from the file: a page costs no more than its line.
    return m_doc.forEachCommand(
        page,
        // NOLINTNEXTLINE(readability-function-cognitive-complexity): the per-command path of drawPage, kept with it
        [&](const DrawCommand& c) {
            if (const auto* r = std::get_if<RuleCommand>(&c)) {
                QPen pen(Qt::black);
                pen.setWidthF(r->thicknessPt * dpiY / 72.0);
                if (r->thicknessPt == 0) pen.setWidthF(0);
                pen.setCapStyle(Qt::FlatCap);
                if (r->pattern == RulePattern::Dashed) pen.setStyle(Qt::DashLine);
                else if (r->pattern == RulePattern::Dotted) pen.setStyle(Qt::DotLine);
                painter.resetTransform();
                painter.setPen(pen);
                textPenSet = false;
                const double y = r->y10 / 10.0 * linePx;
                painter.drawLine(QPointF(r->x10 / 10.0 * cellPx, y), QPointF((r->x10 + r->len10) / 10.0 * cellPx, y));
                return;
            }
            const auto& t = std::get<TextCommand>(c);
            for (auto& g : glyphs) g.clear();
            for (auto& p : positions) p.clear();
            // Each character's glyph is looked up once a job; its place is its cell.
            int cell = 0;
            bool any = false;
            for (std::size_t i = 0; i < t.text.size();) {
                std::size_t n = 0;
                const char32_t cp = text::decodeAt(t.text, i, &n);
                i += n;
                if (!isBlank(cp)) {
                    const Glyph& g = glyphOf(cp);
                    if (g.font >= 0) {
                        const auto f = static_cast<std::size_t>(g.font);
                        glyphs[f].append(g.index);
                        positions[f].append(QPointF(cell * cellPx, 0));
                    }
                    any = true;
                }
                cell += cellsOf(cp);
            }
            if (!any) return;
            const double sx = t.sizeX / 100.0;
            const double sy = t.sizeY / 100.0;
            // The character box stands on the gap above y; the baseline is a descent above its foot.
            const double footPx = t.y10 / 10.0 * linePx - gapPx;
            const double baselinePx = footPx - m_descentFraction * emLinesPx * sy;
            // One transform a text: its place and its size.
            painter.setTransform(QTransform(sx, 0, 0, sy * yScale, t.x10 / 10.0 * cellPx, baselinePx));
            if (!textPenSet) {
                painter.setPen(textPen);
                textPenSet = true;
            }
            for (std::size_t f = 0; f < glyphs.size(); ++f) {
                if (glyphs[f].isEmpty()) continue;
                run.setRawFont(m_fonts[static_cast<qsizetype>(f)]);
                run.setGlyphIndexes(glyphs[f]);
                run.setPositions(positions[f]);
                painter.drawGlyphRun(QPointF(0, 0), run);
            }
        },
        error);
}

} // namespace kov::overlayprint
