#include "mainwindowscene.h"

#include "exportrecord.h"
#include "modalanswerer.h"
#include "trackgrid.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace sondrel::test {

MainWindowScene::MainWindowScene()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("player"));
    QDir(m_dir.path()).mkpath(QStringLiteral("export"));
    machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"), QStringLiteral("ext4"));
    machine.mount(QStringLiteral("/dev/sdb1"), playerPath(), QStringLiteral("vfat"));
    machine.blockDevice(QStringLiteral("sdb"), true, {QStringLiteral("sdb1")});
    machine.mount(QStringLiteral("/dev/sdc1"), exportPath(), QStringLiteral("ext4"));
    open();
    m_window->state().setPlayerDrive(playerPath() + QLatin1Char('/'));
    m_window->state().setExportDirectory(exportPath() + QLatin1Char('/'));
}

void MainWindowScene::restart()
{
    m_window->close();
    m_window.reset();
    open();
}

QString MainWindowScene::settingsFile() const
{
    return m_dir.filePath(QStringLiteral("Sondrel.conf"));
}

void MainWindowScene::open()
{
    Services services;
    services.fileSystem =
        FaultyFileSystem::factory(faults, [this] { return machine.fileSystem(); });
    services.processStarter = RecordingStarter::factory(started);
    m_window = std::make_unique<FrmMain>(services, std::make_unique<KeptSettings>(settingsFile()));
    m_window->show();
    m_window->activateWindow();
}

MainWindowScene::~MainWindowScene()
{
    ModalAnswerer::closeLeftovers();
}

QString MainWindowScene::playerPath() const
{
    return m_dir.filePath(QStringLiteral("player"));
}

QString MainWindowScene::exportPath() const
{
    return m_dir.filePath(QStringLiteral("export"));
}

QString MainWindowScene::path(const QString &relative) const
{
    return m_dir.filePath(relative);
}

TrackGrid *MainWindowScene::grid() const
{
    return m_window->MSFlexGridSoundList;
}

bool MainWindowScene::load(const TestDatabase &db)
{
    if (!writePlayer(playerPath(), db))
        return false;
    const QStringList messages = check();
    m_window->activateWindow();
    return messages.size() == 1 && messages[0].startsWith(QStringLiteral("Updated in "));
}

QStringList MainWindowScene::click(QAbstractButton *button)
{
    ModalAnswerer answerer;
    QTest::mouseClick(button, Qt::LeftButton);
    return answerer.texts();
}

QStringList MainWindowScene::exportMarked()
{
    ModalAnswerer answerer;
    QSignalSpy ended(m_window.get(), &FrmMain::exportEnded);
    QTest::mouseClick(m_window->BtnExport, Qt::LeftButton);
    if (ended.isEmpty() && m_window->exportRunning())
        ended.wait(120000);
    return answerer.texts();
}

QPoint MainWindowScene::cellCentre(int row, int col) const
{
    return grid()->visualRect(grid()->model()->index(row - 1, col - 1)).center();
}

void MainWindowScene::selectRows(int from, int to)
{
    grid()->scrollTo(grid()->model()->index(from - 1, 2));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(from, 3));
    grid()->scrollTo(grid()->model()->index(to - 1, 2));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCentre(to, 3));
}

void MainWindowScene::markRows(int from, int to)
{
    selectRows(from, to);
    QTest::mouseClick(m_window->BtnSelSound, Qt::LeftButton);
}

QStringList MainWindowScene::column(int col) const
{
    QStringList cells;
    for (int r = 1; r < grid()->Rows(); ++r)
        cells << grid()->TextMatrix(r, col);
    return cells;
}

QStringList MainWindowScene::markedTitles() const
{
    QStringList titles;
    for (int r = 1; r < grid()->Rows(); ++r) {
        if (grid()->TextMatrix(r, 1) == QLatin1String("X"))
            titles << grid()->TextMatrix(r, 3);
    }
    return titles;
}

QStringList MainWindowScene::totals() const
{
    const FrmMain &w = *m_window;
    return {w.LblSelFilesNumI->text(), w.LblSelFilesSizeI->text(), w.LblSelFilesDurI->text(),
            w.LblSelFilesNum->text(),  w.LblSelFilesSize->text(),  w.LblSelFilesDur->text()};
}

QStringList MainWindowScene::exportFiles() const
{
    QStringList files = QDir(exportPath()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    files.removeOne(ExportRecordFileName);
    return files;
}

} // namespace sondrel::test
