// terrafetch-screenshot: opens the real main window, geocodes an address,
// runs a job with Proceed as a user would (on the bundled services unless
// the host variables say otherwise) and saves a picture of the finished
// window and, when asked, of the result view that the window then opens.
// Files of the job go to the current folder. A texture kind ("map",
// "imagery" or "imagery+map") is set in the settings as a user would.
//   terrafetch-screenshot <picture.png> [address] [result-view.png] [texture]
#include "core/TextureKind.h"
#include "ui/CActivityList.h"
#include "ui/CSettingsDialog.h"
#include "ui/CResultView.h"
#include "ui/CterraFetchApp.h"
#include "ui/CterraFetchDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

CterraFetchDialog* theDialog = nullptr;

// Calls `done` once `condition` holds, polling; fails after `seconds` with
// the activity log on the error stream.
void WhenTrue(std::function<bool()> condition, std::function<void()> done, int seconds)
{
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (condition()) {
            timer->deleteLater();
            done();
        } else if ((*waited += 100) > seconds * 1000) {
            std::fprintf(stderr, "terrafetch-screenshot: gave up waiting; the log says:\n");
            for (const QString& line : theDialog->ActivityList().Lines())
                std::fprintf(stderr, "  %s\n", qPrintable(line));
            QCoreApplication::exit(1);
        }
    });
    timer->start(100);
}

bool Save(QWidget& widget, const QString& picture)
{
    if (widget.grab().save(picture))
        return true;
    std::fprintf(stderr, "terrafetch-screenshot: cannot write %s\n", qPrintable(picture));
    return false;
}

bool HasLine(CterraFetchDialog& dialog, const QString& prefix)
{
    for (const QString& line : dialog.ActivityList().Lines())
        if (line.startsWith(prefix))
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    CterraFetchApp application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: terrafetch-screenshot <picture.png> [address] [result-view.png] [texture]\n");
        return 2;
    }
    const QString picture = QString::fromLocal8Bit(argv[1]);
    const QString address = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("Salina, KS");
    const QString viewPicture = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const std::optional<TextureKind> texture = TextureKindNamed(argc > 4 ? argv[4] : "map");
    if (!texture) {
        std::fprintf(stderr, "terrafetch-screenshot: the texture is map, imagery or imagery+map\n");
        return 2;
    }
    if (!application.StartNetwork())
        return 1;

    CterraFetchDialog dialog;
    theDialog = &dialog;
    SettingsValues settings = dialog.CurrentSettings();
    settings.textureKind = *texture;
    dialog.ApplySettings(settings);
    dialog.show();
    auto* addressEdit = dialog.findChild<QLineEdit*>(QStringLiteral("addressEdit"));
    auto* geocode = dialog.findChild<QPushButton*>(QStringLiteral("geocodeButton"));
    auto* proceed = dialog.findChild<QPushButton*>(QStringLiteral("proceedButton"));
    auto* viewResult = dialog.findChild<QPushButton*>(QStringLiteral("resultButton"));

    QTimer::singleShot(300, [&] {
        QTest::keyClicks(addressEdit, address);
        QTest::mouseClick(geocode, Qt::LeftButton);
        WhenTrue([&] { return !dialog.IsBusy() && proceed->isEnabled() && HasLine(dialog, "  quad: "); },
                 [&] {
                     QTest::mouseClick(proceed, Qt::LeftButton);
                     WhenTrue([&] { return !dialog.IsBusy(); },
                              [&] {
                                  const bool finished = HasLine(dialog, "Download successfully finished.");
                                  QTimer::singleShot(300, [&, finished] {
                                      if (!Save(dialog, picture)) {
                                          QCoreApplication::exit(1);
                                          return;
                                      }
                                      std::printf("%s: %s\n", qPrintable(picture),
                                                  finished ? "job finished" : "job failed");
                                      if (!finished || viewPicture.isEmpty()) {
                                          QCoreApplication::exit(finished ? 0 : 1);
                                          return;
                                      }
                                      QTest::mouseClick(viewResult, Qt::LeftButton);
                                      QTimer::singleShot(500, [&] {
                                          CResultView* view = dialog.ResultView();
                                          const bool saved = view && Save(*view, viewPicture);
                                          if (saved)
                                              std::printf("%s: result view\n", qPrintable(viewPicture));
                                          QCoreApplication::exit(saved ? 0 : 1);
                                      });
                                  });
                              },
                              600);
                 },
                 60);
    });
    return application.exec();
}
