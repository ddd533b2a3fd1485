// The least a program linked against trelmo's Qt libraries does: load them and end. The
// baseline for the cost of a forwarding launch.
#include <QApplication>
#include <QWidget>

#include <cstring>

int main(int argc, char*[]) {
    // Used, so that the linker keeps every library.
    const QMetaObject* linked[] = {&QWidget::staticMetaObject, &QGuiApplication::staticMetaObject};
    return std::strcmp(linked[argc % 2]->className(), "") == 0 ? 1 : 0;
}
