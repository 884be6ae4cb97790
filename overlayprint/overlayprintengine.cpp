#include "overlayprintengine.h"

#include "commandfile.h"
#include "pdfviewer.h"
#include "printerqueue.h"
#include "renderer.h"
#include "settings.h"

#include "common/fileerror.h"
#include "common/runtimeerror.h"
#include "common/runtimeservices.h"

#include <QApplication>
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
#include <QTemporaryFile>

#include <cerrno>
#include <filesystem>
#include <new>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// The device the PDF writer writes to: every byte goes straight to the file, and the
// first write that does not take all its bytes is remembered with its cause. The PDF
// writer itself goes on as if nothing had happened after a failed write (and a file
// device forgets a write error at its next write), so the job is judged here: by the
// failure, by the bytes handed over against the size of the file, and by the flush.
class CheckedOutput : public QIODevice {
public:
    explicit CheckedOutput(QFileDevice& file) : m_file(file) {}

    bool failed() const { return m_failed; }
    int cause() const { return m_errno; }
    qint64 accepted() const { return m_accepted; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        if (m_failed) return -1;
        qint64 done = 0;
#ifndef _WIN32
        const int fd = m_file.handle();
        while (done < len) {
            const ssize_t n = ::write(fd, data + done, static_cast<std::size_t>(len - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                m_failed = true;
                m_errno = n < 0 ? errno : ENOSPC;
                break;
            }
            done += n;
        }
#else
        done = m_file.write(data, len);
        if (done != len || !m_file.flush()) {
            m_failed = true;
            m_errno = m_file.error() == QFileDevice::ResourceError ? ENOSPC : EIO;
        }
        if (done < 0) done = 0;
#endif
        m_accepted += done;
        return m_failed ? -1 : done;
    }

private:
    QFileDevice& m_file;
    bool m_failed = false;
    int m_errno = 0;
    qint64 m_accepted = 0;
};

// Draws the job into a temporary file beside the target and gives it its final name
// only when it is complete: either exactly `target` (replacing it) or, when
// `keepExisting`, the first of target, target_2, target_3 ... that does not exist yet.
// Whatever fails on the way (a full disk, a folder that may not be written) is reported
// with the folder and its cause, and the temporary file is removed.
bool writePdf(Renderer& r, const QString& target, bool keepExisting, const QString& title, std::string* written,
              std::string* error)
{
    const QFileInfo fi(target);
    const QString folder = fi.absolutePath();
    const std::string where = "PDF の保存先フォルダ「" + folder.toStdString() + "」";
    {
        std::error_code ec;
        std::filesystem::create_directories(folder.toStdString(), ec);
        if (ec || !QFileInfo(folder).isDir()) {
            *error = where + "を作れません。" + kov::fileErrorText(ec ? ec : std::make_error_code(std::errc::not_a_directory));
            return false;
        }
    }
    QTemporaryFile tmp(QDir(folder).filePath("." + fi.completeBaseName() + "-XXXXXX.part"));
    tmp.setAutoRemove(true);
    errno = 0;
    if (!tmp.open()) {
        const int err = errno;
        *error = where + "に書き込めません。" + kov::fileErrorText(err);
        return false;
    }
#ifndef _WIN32
    // A temporary file is created readable by its owner only; the finished PDF is a report
    // for the office, so it gets the permissions of any new file of this user (the umask).
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(tmp.handle(), 0666 & ~mask) != 0) {
            *error = where + "に書き込めません。" + kov::fileErrorText(errno);
            return false;
        }
    }
#endif
    CheckedOutput out(tmp);
    out.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    {
        QPdfWriter writer(&out);
        writer.setResolution(1200);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("ovlprint"));
        writer.setPageLayout(pageLayoutOf(r));
        const bool drawn = r.render(writer, error);
        if (out.failed()) {
            *error = where + "に書き込めません。" + kov::fileErrorText(out.cause());
            return false;
        }
        if (!drawn) return false;
    }
    if (out.failed()) {
        *error = where + "に書き込めません。" + kov::fileErrorText(out.cause());
        return false;
    }
    out.close();
    int err = 0;
#ifndef _WIN32
    // Written to the disk, and as long as what the writer handed over: a file system that
    // takes the bytes but cannot keep them tells it here.
    if (::fsync(tmp.handle()) != 0) err = errno;
    struct stat st {};
    if (err == 0 && ::fstat(tmp.handle(), &st) != 0) err = errno;
    if (err == 0 && (out.accepted() == 0 || st.st_size != out.accepted())) err = ENOSPC;
#else
    if (!tmp.flush() || tmp.size() != out.accepted() || out.accepted() == 0) err = ENOSPC;
#endif
    if (err != 0) {
        *error = where + "に書き込めません。" + kov::fileErrorText(err);
        return false;
    }
    tmp.close();
    if (!keepExisting) {
        std::error_code ec;
        std::filesystem::rename(tmp.fileName().toStdString(), target.toStdString(), ec);
        if (ec) {
            *error = "PDF「" + target.toStdString() + "」を置けません。" + kov::fileErrorText(ec);
            return false;
        }
        tmp.setAutoRemove(false);
        *written = target.toStdString();
        return true;
    }
    const QString stem = QDir(folder).filePath(fi.completeBaseName());
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? stem + ".pdf" : stem + "_" + QString::number(n) + ".pdf";
        if (QFileInfo::exists(candidate)) continue;
        // rename never replaces an existing file; a name taken meanwhile just moves us on.
        if (tmp.rename(candidate)) {
            tmp.setAutoRemove(false);
            *written = candidate.toStdString();
            return true;
        }
    }
    *error = "PDF「" + target.toStdString() + "」と同じ名前のファイルが多すぎて、新しい名前を付けられません。";
    return false;
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

} // namespace

std::string pdfBaseName(const std::string& jobName, const std::string& timestamp)
{
    std::string name;
    for (unsigned char c : jobName) {
        if (c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            name += '_';
        else
            name += static_cast<char>(c);
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

std::int32_t OverlayPrintEngine::PrtFile(const std::string& jobName, const std::string& caption,
                                         const std::string& overlayFile)
{
    m_lastOutputPath.clear();
    m_lastError.clear();
    m_lastPageCount = 0;
    const std::string head = "帳票「" + jobName + "」を印刷できません。\n";
    try {
        std::string error;
        const auto settings = loadSettings(kov::settingsFolder(m_rt.appPath()), m_rt.appPath(), &error);
        if (!settings) return fail(kPrtSettingsError, caption, head + error);

        const std::string cmdPath = (std::filesystem::path(m_folder) / "OVL.TMP").string();
        const ParseResult parsed = readCommandFile(cmdPath);
        if (!parsed.ok())
            return fail(kPrtCommandFileError, caption, head + "印刷指示ファイル「" + cmdPath + "」\n" + parsed.error->text());

        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return fail(kPrtOutputError, caption, head + "描画の仕組み（QGuiApplication）が動いていません。");

        Overlay overlay;
        if (overlayFile.empty()) return fail(kPrtOverlayError, caption, head + "様式ファイル（オーバーレイ）の名前が空です。");
        const std::string overlayPath = findOverlayFile(settings->overlayFolder, overlayFile);
        if (!overlay.load(overlayPath, &error)) return fail(kPrtOverlayError, caption, head + error);
        // A form larger than the paper would be cut off: the file asks for another paper
        // or orientation than the form was drawn for.
        const CommandFile& doc = *parsed.file;
        const QSizeF form = overlay.extentInches();
        const double slack = 0.05;
        if (form.width() > doc.pageWidthMm() / 25.4 + slack || form.height() > doc.pageHeightMm() / 25.4 + slack) {
            return fail(kPrtOverlayError, caption,
                        head + "様式ファイル（オーバーレイ）「" + overlayPath + "」は用紙（" + doc.paper->name +
                            (doc.landscape ? " 横" : " 縦") + "、印刷指示ファイルの 1 行目）に収まりません。");
        }

        Renderer renderer(*parsed.file, overlay, qs(settings->fontFamily));
        // The screen that waits for the job shows how far the drawing is.
        renderer.onPageDrawn = [this](int pages) { m_rt.reportProgress(pages); };
        bool fontMissing = false;
        if (!renderer.prepare(&error, &fontMissing)) {
            if (fontMissing) return fail(kPrtSettingsError, caption, head + error);
            return fail(kPrtCommandFileError, caption, head + "印刷指示ファイル「" + cmdPath + "」\n" + error);
        }

        const QString title = qs(caption.empty() ? jobName : caption);
        if (!m_pdfOverride.empty()) {
            if (!writePdf(renderer, qs(m_pdfOverride), false, title, &m_lastOutputPath, &error))
                return fail(kPrtOutputError, caption, head + error);
        } else if (settings->output == OutputKind::Pdf) {
            const std::string stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
            const QString target = QDir(qs(settings->pdfFolder)).filePath(qs(pdfBaseName(jobName, stamp)));
            if (!writePdf(renderer, target, true, title, &m_lastOutputPath, &error))
                return fail(kPrtOutputError, caption, head + error);
            // The report is done; a viewer that does not come is told, not kept quiet. A
            // desktop without any viewer for PDF files is told once a run, not at every print.
            static bool toldNoViewer = false;
            const std::string done = "帳票「" + jobName + "」の PDF「" + m_lastOutputPath + "」はできましたが、\n";
            const std::string title = caption.empty() ? "印刷" : caption;
            if (settings->openPdf && !desktopHasPdfViewer()) {
                if (!std::exchange(toldNoViewer, true))
                    m_rt.msgBox(done + "このデスクトップには PDF を見るプログラムがないため、開きません（このお知らせは一度だけです）。"
                                       "PDF を見るプログラム（mupdf など）を入れると、次の印刷から開きます。",
                                kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, title);
            } else if (settings->openPdf && !openInViewer(m_lastOutputPath, &error)) {
                m_rt.msgBox(done + error, kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, title);
            }
            m_rt.notify(title, "帳票「" + jobName + "」を PDF「" + m_lastOutputPath + "」に保存しました。");
        } else if (settings->output == OutputKind::Printer) {
            if (!printToPrinter(renderer, *settings, jobName, &error)) return fail(kPrtOutputError, caption, head + error);
        } else {
            if (!preview(renderer, jobName, caption, &error)) return fail(kPrtOutputError, caption, head + error);
        }
        m_lastPageCount = renderer.pageCount();
        return kPrtDone;
    } catch (const kov::RuntimeError& e) {
        return fail(kPrtOutputError, caption, head + e.userMessage());
    } catch (const std::bad_alloc&) {
        return fail(kPrtOutputError, caption, head + "メモリが足りません。");
    } catch (const std::exception& e) {
        return fail(kPrtOutputError, caption, head + e.what());
    }
}

kov::PrintEngineFactory makeEngineFactory(kov::RuntimeServices& rt)
{
    return [&rt]() -> std::unique_ptr<kov::PrintEngine> { return std::make_unique<OverlayPrintEngine>(rt); };
}

} // namespace kov::overlayprint
