// Vornakle's entry point. Until the main window lands, the program shows a
// window that says so.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vornakle"));
    QLabel window(QStringLiteral("Vornakle: the main window is not built yet."));
    window.setMargin(24);
    window.show();
    return QApplication::exec();
}
