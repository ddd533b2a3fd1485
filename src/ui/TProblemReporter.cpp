#include "TProblemReporter.h"

#include "TCueList.h"
#include "TMessageStrip.h"
#include "TOutputNames.h"
#include "TextRules.h"

#include <QTimer>

#include <utility>
#include <vector>

TProblemReporter::TProblemReporter(TMessageStrip& strip, QWidget& window,
                                   std::function<bool()> windowPlaced)
    : QObject(&window), FStrip(strip), FWindow(window), FWindowPlaced(std::move(windowPlaced)) {}

void TProblemReporter::SetProblem(const QString& kind, const QString& text,
                                  std::function<void()> retry) {
    if (text.isEmpty()) {
        FStrip.Remove(kind);
        return;
    }
    std::vector<TMessageStrip::TAction> actions;
    if (retry)
        actions.push_back({tr("Retry"), std::move(retry)});
    FStrip.Show(kind, text, actions);
}

void TProblemReporter::ReportMissingOutputs(const TOutputNames& outputs, const TCueList& cues) {
    for (int32_t number = 2; number <= TOutputNames::Highest; ++number) {
        bool used = false;
        for (int32_t i = 0; i < cues.Count() && !used; ++i)
            used = cues.Items(i)->AudioChannel() == number;
        SetProblem(QStringLiteral("output %1").arg(number),
                   used ? outputs.MissingText(number) : QString());
    }
}

void TProblemReporter::ShowError(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

void TProblemReporter::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

// Queued, so that an editor that reports while closing has closed before the box opens.
void TProblemReporter::ShowErrorBox(const QString& text) {
    QTimer::singleShot(0, this, [this, text] { ShowError(WithClosingPeriod(text.toStdString())); });
}

// Modal, captioned "Trelmo"; the text as plain text with its CR LF line breaks. A box before
// the first show has no parent: as the parent of a box, the window would be created before
// FormShow places it, and it would creep up by its title bar every run.
void TProblemReporter::ShowBox(QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(
        icon, QStringLiteral("Trelmo"),
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        QMessageBox::Ok, FWindowPlaced() ? &FWindow : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
