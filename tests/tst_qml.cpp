// Runs the QML component tests in tests/qml.
#include <QtQuickTest>

QUICK_TEST_MAIN(qml)
