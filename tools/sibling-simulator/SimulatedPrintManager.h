#pragma once

#include "SimulatedSibling.h"

#include <QVariantMap>

// The print-manager: paper handling, paper length, the IPC switch and the hardware tests.
class SimulatedPrintManager : public SimulatedSibling
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.PrintManager")
public:
    explicit SimulatedPrintManager(QObject* parent = nullptr);

public slots:
    void loadPaper();
    void ejectPaper();
    void feedLines(int lines);
    bool isPaperLoaded();
    int paperPosition();
    bool setPaperLength(int length);
    QVariantMap runTestCmd(int test, int parameter);
    QVariantMap setIPCState(bool enabled);
    QVariantMap state();

private:
    bool m_paperLoaded = true;
    int m_paperPosition = 0;
    int m_paperLength = 297;
    bool m_ipcEnabled = false;
    QVariantMap m_lastTest;
};
