#include "overlayprintengine.h"

#include "commandfile.h"
#include "pdfunicode.h"
#include "pdfviewer.h"
#include "printerqueue.h"
#include "renderer.h"
#include "settings.h"

#include "common/gaiji.h"
#include "common/runtimeerror.h"
#include "common/runtimeservices.h"
#include "common/safefile.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <filesystem>
#include <new>
#include <utility>

namespace kov::overlayprint {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QPageLayout pageLayoutOf(const Renderer& r)
{
    const double shortMm = std::min(r.pageWidthMm(), r.pageHeightMm());
    const double longMm = std::max(r.pageWidthMm(), r.pageHeightMm());
    const QPageSize size(QSizeF(shortMm, longMm), QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    return QPageLayout(size, r.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Millimeter);
}

// The device the PDF writer writes to: every byte goes straight to the safe file, and
// the first write that fails is remembered with its message. The PDF writer itself goes
// on as if nothing had happened after a failed write, so the job is judged here, and no
// exception is let through the writer's code.
class CheckedOutput : public QIODevice {
public:
    explicit CheckedOutput(kov::SafeFile& file) : m_file(file) {}

    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        if (failed()) return -1;
        try {
            m_file.write(std::string_view(data, static_cast<std::size_t>(len)));
        } catch (const kov::RuntimeError& e) {
            m_error = e.detail();
            return -1;
        }
        return len;
    }

private:
    kov::SafeFile& m_file;
    std::string m_error;
};

// Draws the job as a PDF into out. A drawing with names beyond the basic plane is made in
// memory first, to give the PDF their text (pdfunicode.h).
bool drawPdf(Renderer& r, CheckedOutput& out, const QString& title, std::string* error)
{
    QBuffer memory;
    const bool addText = r.needsUnicodeEntries() && memory.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(addText ? static_cast<QIODevice*>(&memory) : &out);
        writer.setResolution(1200);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("ovlprint"));
        writer.setPageLayout(pageLayoutOf(r));
        const bool drawn = r.render(writer, error);
        if (out.failed()) {
            *error = out.error();
            return false;
        }
        if (!drawn) return false;
    }
    if (addText) {
        std::string bytes = memory.data().toStdString();
        addUnicodeEntries(bytes, kGaijiFamily, r.unicodeEntries());
        out.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    return true;
}

// Gives the renderer the office's gaiji table when the job has user-defined codes (only
// then is it read); the message of a wrong table, or empty.
std::string useGaijiTable(Renderer& r, const CommandFile& doc, const EngineSettings& settings,
                          const std::string& appPath)
{
    if (std::none_of(doc.characters.begin(), doc.characters.end(),
                     [](const UsedCharacter& used) { return gaiji::isUserDefined(used.cp); }))
        return {};
    try {
        r.setGaiji(gaiji::Table::load(kov::settingsFolder(appPath)), qs(settings.gaijiFontFamily));
    } catch (const kov::RuntimeError& e) {
        return e.detail();
    }
    return {};
}

// Draws the job into a temporary file beside the target and gives it its final name
// only when it is complete (kov::SafeFile): either exactly `target` (replacing it) or,
// when `keepExisting`, the first of target, target_2, target_3 ... that does not exist
// yet. A folder that is made for the PDFs is the user's alone (0700), and one that
// `privateFolder` asks for must be. Whatever fails on the way (a full disk, a folder that
// may not be written) is reported with the file or folder and its cause, and the
// temporary file is removed.
bool writePdf(Renderer& r, const QString& target, bool keepExisting, bool privateFolder, const QString& title,
              std::string* written, std::string* error)
{
    const QFileInfo fi(target);
    const std::string folder = fi.absolutePath().toStdString();
    try {
        // A file named exactly by the caller (ovlprint --pdf) may go into any folder of its
        // choosing; a folder that is not there yet is made as the report folder is.
        if (privateFolder || !QFileInfo(fi.absolutePath()).isDir())
            kov::ensurePrivateFolder(folder, "PDF の保存先フォルダ");
        kov::SafeFile file(folder, fi.fileName().toStdString(), "PDF");
        CheckedOutput out(file);
        out.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!drawPdf(r, out, title, error)) return false;
        if (out.failed()) {
            *error = out.error();
            return false;
        }
        out.close();
        if (!keepExisting) {
            file.commit();
            *written = target.toStdString();
            return true;
        }
        const std::string stem = fi.completeBaseName().toStdString();
        for (int n = 1; n < 1000; ++n) {
            const std::string name = n == 1 ? stem + ".pdf" : stem + "_" + std::to_string(n) + ".pdf";
            // Never replaces: a name taken, even meanwhile, just moves us on.
            if (file.commitAsNew(name)) {
                *written = file.finalPath();
                return true;
            }
        }
        *error = "PDF「" + target.toStdString() + "」と同じ名前のファイルが多すぎて、新しい名前を付けられません。";
        return false;
    } catch (const kov::RuntimeError& e) {
        *error = e.detail();
        return false;
    }
}

bool printToPrinter(Renderer& r, const EngineSettings& s, const std::string& job, std::string* error)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!s.printer.empty()) {
        if (!QPrinterInfo::availablePrinterNames().contains(qs(s.printer))) {
            *error = "プリンター「" + s.printer + "」が見つかりません（OVLPRINT.INI の Printer を確かめてください）。";
            return false;
        }
        printer.setPrinterName(qs(s.printer));
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
        *error = "既定のプリンターがありません（OVLPRINT.INI の Printer にプリンター名を書いてください）。";
        return false;
    } else {
        printer.setPrinterName(QPrinterInfo::defaultPrinter().printerName());
    }
    const std::string name = printer.printerName().toStdString();
    if (std::string why = printerRefusal(name); !why.empty()) {
        *error = why;
        return false;
    }
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setDocName(qs(job));
    printer.setFullPage(true);
    printer.setPageLayout(pageLayoutOf(r));
    if (!r.render(printer, error)) return false;
    if (printer.printerState() == QPrinter::Error) {
        *error = "プリンター「" + name + "」へ送れませんでした。";
        return false;
    }
    if (std::string why = submissionFailure(name); !why.empty()) {
        *error = why;
        return false;
    }
    return true;
}

bool preview(Renderer& r, const std::string& job, const std::string& caption, std::string* error)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QGuiApplication::platformName() == QLatin1String("offscreen") ||
        QGuiApplication::platformName() == QLatin1String("minimal")) {
        *error = "印刷プレビューは画面のあるプログラムからだけ使えます（Output=pdf か printer にしてください）。";
        return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(qs(job));
    printer.setFullPage(true);
    printer.setPageLayout(pageLayoutOf(r));
    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowTitle(qs(caption.empty() ? job : caption + " - " + job));
    std::string renderError;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) {
        p->setFullPage(true);
        p->setPageLayout(pageLayoutOf(r));
        if (!r.render(*p, &renderError)) renderError = renderError.empty() ? "描けません。" : renderError;
    });
    dialog.exec();
    if (!renderError.empty()) {
        *error = renderError;
        return false;
    }
    return true;
}

// The warnings of a job that was printed, in one exclamation message.
void tellWarnings(kov::RuntimeServices& rt, const Renderer& r, const std::string& jobName, const std::string& caption)
{
    if (r.warnings().empty()) return;
    std::string told = "帳票「" + jobName + "」は印刷しましたが、";
    for (const std::string& w : r.warnings()) told += "\n" + w;
    rt.msgBox(told, kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, caption.empty() ? "印刷" : caption);
}

} // namespace

std::string pdfBaseName(const std::string& jobName, const std::string& timestamp)
{
    std::string name;
    for (unsigned char c : jobName) {
        if (c < 0x20 || c == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            name += '_';
        else name += static_cast<char>(c);
    }
    if (name.empty() || name == "." || name == "..") name = "job";
    return name + "_" + timestamp + ".pdf";
}

OverlayPrintEngine::OverlayPrintEngine(kov::RuntimeServices& rt) : m_rt(rt) {}

void OverlayPrintEngine::setPrintFIlePath(const std::string& folder) { m_folder = folder; }

std::string OverlayPrintEngine::PrintFIlePath() const { return m_folder; }

std::int32_t OverlayPrintEngine::fail(std::int32_t code, const std::string& caption, const std::string& message)
{
    m_lastError = message;
    m_rt.msgBox(message, kov::MsgIcon::Stop, kov::MsgButtons::Ok, caption.empty() ? "印刷" : caption);
    return code;
}

namespace {

// A job that cannot be printed: PrtFile's result and what follows the message's head.
struct JobFailure {
    std::int32_t code;
    std::string message;
};

// The form of the job, found by name in the overlay folder and read; a form larger than
// the paper would be cut off: the file asks for another paper or orientation than the
// form was drawn for.
Overlay loadOverlay(const EngineSettings& settings, const std::string& overlayFile, const CommandFile& doc)
{
    if (overlayFile.empty()) throw JobFailure{kPrtOverlayError, "様式ファイル（オーバーレイ）の名前が空です。"};
    Overlay overlay;
    std::string error;
    const std::string overlayPath = findOverlayFile(settings.overlayFolder, overlayFile);
    if (!overlay.load(overlayPath, &error)) throw JobFailure{kPrtOverlayError, error};
    const QSizeF form = overlay.extentInches();
    const double slack = 0.05;
    if (form.width() > doc.pageWidthMm() / 25.4 + slack || form.height() > doc.pageHeightMm() / 25.4 + slack) {
        throw JobFailure{kPrtOverlayError, "様式ファイル（オーバーレイ）「" + overlayPath + "」は用紙（" +
                                               doc.paper->name + (doc.landscape ? " 横" : " 縦") +
                                               "、印刷指示ファイルの 1 行目）に収まりません。"};
    }
    return overlay;
}

} // namespace

std::int32_t OverlayPrintEngine::PrtFile(const std::string& jobName, const std::string& caption,
                                         const std::string& overlayFile)
{
    m_lastOutputPath.clear();
    m_lastError.clear();
    m_lastPageCount = 0;
    const std::string head = "帳票「" + jobName + "」を印刷できません。\n";
    try {
        m_lastPageCount = printJob(jobName, caption, overlayFile);
        return kPrtDone;
    } catch (const JobFailure& f) {
        return fail(f.code, caption, head + f.message);
    } catch (const kov::RuntimeError& e) {
        return fail(kPrtOutputError, caption, head + e.userMessage());
    } catch (const std::bad_alloc&) {
        return fail(kPrtOutputError, caption, head + "メモリが足りません。");
    } catch (const std::exception& e) {
        return fail(kPrtOutputError, caption, head + e.what());
    }
}

int OverlayPrintEngine::printJob(const std::string& jobName, const std::string& caption, const std::string& overlayFile)
{
    std::string error;
    const auto settings = loadSettings(kov::settingsFolder(m_rt.appPath()), m_rt.appPath(), &error);
    if (!settings) throw JobFailure{kPrtSettingsError, error};

    const std::string cmdPath = (std::filesystem::path(m_folder) / "OVL.TMP").string();
    const ParseResult parsed = readCommandFile(cmdPath);
    if (!parsed.ok())
        throw JobFailure{kPrtCommandFileError, "印刷指示ファイル「" + cmdPath + "」\n" + parsed.error->text()};

    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw JobFailure{kPrtOutputError, "描画の仕組み（QGuiApplication）が動いていません。"};

    const Overlay overlay = loadOverlay(*settings, overlayFile, *parsed.file);
    Renderer renderer(*parsed.file, overlay, qs(settings->fontFamily));
    if (std::string why = useGaijiTable(renderer, *parsed.file, *settings, m_rt.appPath()); !why.empty())
        throw JobFailure{kPrtSettingsError, why};
    // The screen that waits for the job shows how far the drawing is.
    renderer.onPageDrawn = [this](int pages) { m_rt.reportProgress(kov::ProgressPhase::PagesDrawn, pages); };
    bool fontMissing = false;
    if (!renderer.prepare(&error, &fontMissing)) {
        if (fontMissing) throw JobFailure{kPrtSettingsError, error};
        throw JobFailure{kPrtCommandFileError, "印刷指示ファイル「" + cmdPath + "」\n" + error};
    }

    const QString title = qs(caption.empty() ? jobName : caption);
    if (!m_pdfOverride.empty()) {
        if (!writePdf(renderer, qs(m_pdfOverride), false, false, title, &m_lastOutputPath, &error))
            throw JobFailure{kPrtOutputError, error};
    } else if (settings->output == OutputKind::Pdf) {
        savePdf(renderer, *settings, jobName, caption);
    } else if (settings->output == OutputKind::Printer) {
        if (!printToPrinter(renderer, *settings, jobName, &error)) throw JobFailure{kPrtOutputError, error};
    } else {
        if (!preview(renderer, jobName, caption, &error)) throw JobFailure{kPrtOutputError, error};
    }
    tellWarnings(m_rt, renderer, jobName, caption);
    return renderer.pageCount();
}

void OverlayPrintEngine::savePdf(Renderer& renderer, const EngineSettings& settings, const std::string& jobName,
                                 const std::string& caption)
{
    std::string error;
    const QString title = qs(caption.empty() ? jobName : caption);
    const std::string stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    const QString target = QDir(qs(settings.pdfFolder)).filePath(qs(pdfBaseName(jobName, stamp)));
    if (!writePdf(renderer, target, true, true, title, &m_lastOutputPath, &error))
        throw JobFailure{kPrtOutputError, error};
    // The report is done; a viewer that does not come is told, not kept quiet. A
    // desktop without any viewer for PDF files is told once a run, not at every print.
    static bool toldNoViewer = false;
    const std::string done = "帳票「" + jobName + "」の PDF「" + m_lastOutputPath + "」はできましたが、\n";
    const std::string boxTitle = caption.empty() ? "印刷" : caption;
    if (settings.openPdf && !desktopHasPdfViewer()) {
        if (!std::exchange(toldNoViewer, true))
            m_rt.msgBox(done + "このデスクトップには PDF "
                               "を見るプログラムがないため、開きません（このお知らせは一度だけです）。"
                               "PDF を見るプログラム（mupdf など）を入れると、次の印刷から開きます。",
                        kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, boxTitle);
    } else if (settings.openPdf && !openInViewer(m_lastOutputPath, &error)) {
        m_rt.msgBox(done + error, kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, boxTitle);
    }
    m_rt.notify(boxTitle, "帳票「" + jobName + "」を PDF「" + m_lastOutputPath + "」に保存しました。");
}

kov::PrintEngineFactory makeEngineFactory(kov::RuntimeServices& rt)
{
    return [&rt]() -> std::unique_ptr<kov::PrintEngine> { return std::make_unique<OverlayPrintEngine>(rt); };
}

} // namespace kov::overlayprint
