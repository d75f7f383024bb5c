#include "Fixtures.h"

namespace pictoria::testing {

bool waitForRun(frmMain& w)
{
    QSignalSpy finished(&w, &frmMain::conversionRunFinished);
    return !w.conversionRun() || finished.wait(60000);
}

bool writeImage(const QString& path)
{
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 60));
    return image.save(path);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool makeFiles(const QString& folder, const QStringList& specs)
{
    bool made = QDir().mkpath(folder);
    for (const QString& spec : specs) {
        const QString path = QDir(folder).filePath(spec.section('=', 0, 0));
        const bool image = QImageWriter::supportedImageFormats().contains(QFileInfo(path).suffix().toLower().toLatin1());
        made = made && (spec.endsWith('/')     ? QDir().mkpath(path)
                        : spec.contains('=') ? writeBytes(path, spec.section('=', 1).toUtf8())
                                             : image ? writeImage(path) : writeBytes(path, "x"));
    }
    return made;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Bench::load(int inputFormat, int outputFormat)
{
    if (!dir.isValid() || !QDir().mkpath(in) || !QDir().mkpath(out) || !w.Form_Load())
        return false;
    w.txbFolderForImages[0]->setText(in);
    w.txbFolderForImages[1]->setText(out);
    w.cboFileFormat[0]->setCurrentIndex(inputFormat);
    w.cboFileFormat[1]->setCurrentIndex(outputFormat);
    return true;
}

static QString describe(const PromptCall& c)
{
    return QStringLiteral("%1 \"%2\" [%3] buttons %4 icon %5").arg(c.kind, c.text, c.title).arg(int(c.buttons)).arg(int(c.icon));
}

QString ScriptedPrompts::problems() const
{
    QStringList lines = unexpected_;
    for (const Expected& e : queue_)
        lines << "unused answer for " + describe(e.call);
    return lines.join('\n');
}

ScriptedPrompts::Expected ScriptedPrompts::next(const PromptCall& call)
{
    calls_ << call;
    PromptCall compared = call;
    if (call.kind != "message")
        compared.title.clear();
    if (queue_.empty() || !(queue_.front().call == compared)) {
        unexpected_ << "expected " + (queue_.empty() ? QStringLiteral("nothing") : describe(queue_.front().call)) +
                           " but got " + describe(call);
        return {.answer = call.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok, .shellResult = 2, .matched = false};
    }
    Expected expected = queue_.front();
    queue_.pop_front();
    return expected;
}

void ScriptedPrompts::showModal(QDialog& dialog)
{
    const Expected e = next({"modal", dialog.objectName()});
    dialog.show();  // runs the dialog's activation as the real modal show does
    QCoreApplication::processEvents();
    if (e.act)
        e.act(dialog);
    if (dialog.isVisible()) {
        if (e.matched)
            unexpected_ << "modal dialog " + dialog.objectName() + " was left open";
        dialog.hide();
    }
}

void expectSingleFileRun(ScriptedPrompts& scripted, const QString& path, const FormatsChoice& c)
{
    if (!path.isEmpty())
        scripted.expectOpenFile("Specify file to be converted", path);
    scripted.expectModal("frmConvertSingleFile", [c](QDialog& shown) {
        auto& d = static_cast<frmConvertSingleFile&>(shown);
        if (c.look)
            c.look(d);
        for (auto [box, on] : {std::pair(d.chkBMP, c.bmp), {d.chkPNG, c.png}, {d.chkJPG, c.jpg}, {d.chkWarnOnOverwrite, c.warn},
                               {d.chkViewInBrowser, c.view}})
            box->setChecked(on);
        d.txbQuality[0]->setText(c.first);
        d.txbQuality[1]->setText(c.last);
        d.cboStep->setCurrentText(c.step);
        d.chkSmallestLooksSame->setChecked(c.smallest);
        d.txbTarget->setText(c.target);
        (c.cancel ? d.cmdCancel : d.cmdDoIt)->click();
    });
}

HeldTranscoder::HeldTranscoder()
{
    const auto whole = [this](const QString& in) { return !notWhole.contains(QFileInfo(in).fileName()); };
    const auto foundFor = [this](const QString& in, int target) {
        FoundQuality f = found.value(QFileInfo(in).fileName(), FoundQuality{true, 70, 91.25, true, 0});
        f.target = target;
        return f;
    };
    Transcoder held;
    held.convert = [this](const QString& in, const QString& out, int quality) {
        hold(in);
        return TranscodeFile(in, out, quality);
    };
    held.decode = [=, this](const QString& in) {
        hold(in);
        DecodedFile decoded = DecodeFile(in);
        decoded.write = [this, write = decoded.write](const QString& out, int quality) {
            hold(out);
            return write(out, quality);
        };
        decoded.whole = decoded.whole && whole(in);
        decoded.search = nullptr;
        if (decoded.whole)
            decoded.search = [=, this, write = decoded.write](const QString&, int target) {
                hold(QFileInfo(in).fileName() + " search");
                const FoundQuality f = foundFor(in, target);
                return SearchedTarget{{EngineOutcome::Kind::Converted, "No Error.", 0}, f,
                                      [write, f](const QString& out) { return write(out, f.quality); }};
            };
        return decoded;
    };
    held.convertSmallest = [=, this](const QString& in, const QString& out, int fixedQuality, int target) {
        hold(in);
        if (!whole(in))
            return SearchedOutcome{TranscodeFile(in, out, fixedQuality), FoundQuality{false, fixedQuality, 0, false, target}};
        const FoundQuality f = foundFor(in, target);
        return SearchedOutcome{TranscodeFile(in, out, f.quality), f};
    };
    held.score = [this](const QString&, const QString& distorted) {
        const QString name = QFileInfo(distorted).fileName();
        std::lock_guard lock(mutex_);
        scored_ << name;
        const std::optional<double> score = scores.value(name, 95.0);
        return score ? ScoreOutcome{true, *score, {}} : ScoreOutcome{false, 0, "cannot be scored"};
    };
    setTranscoder(held);
}

void HeldTranscoder::hold(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    std::unique_lock lock(mutex_);
    started_ << name;
    released_.wait(lock, [&] { return releasedNames_.contains(QString()) || releasedNames_.contains(name); });
}

HeldTranscoder::~HeldTranscoder()
{
    releaseAll();
    setTranscoder({});
}

QStringList HeldTranscoder::sorted(const QStringList& names) const
{
    std::lock_guard lock(mutex_);
    QStringList copy = names;
    copy.sort();  // calls handed out together start in either order
    return copy;
}

void HeldTranscoder::release(const QString& fileName)
{
    std::lock_guard lock(mutex_);
    releasedNames_ << fileName;
    released_.notify_all();
}

QByteArray StandInCodecs::madeFrom(const QString& sourcePath, int quality)
{
    return "made from " + QFileInfo(sourcePath).fileName().toUtf8() + " at " + QByteArray::number(quality);
}

StandInCodecs::StandInCodecs()
{
    const auto convert = [](const QString& in, const QString& out, int quality) {
        if (readAll(in).startsWith("no picture"))
            return EngineOutcome{EngineOutcome::Kind::Failed, "Not a picture.", 1};
        return writeBytes(out, madeFrom(in, quality)) ? EngineOutcome{EngineOutcome::Kind::Converted, "No Error.", 0}
                                                       : EngineOutcome{EngineOutcome::Kind::Failed, "Cannot write.", -1};
    };
    Transcoder standIn;
    standIn.convert = convert;
    standIn.decode = [convert](const QString& in) {
        return DecodedFile{[convert, in](const QString& out, int quality) { return convert(in, out, quality); }, true, {}};
    };
    setTranscoder(standIn);
}

}  // namespace pictoria::testing
