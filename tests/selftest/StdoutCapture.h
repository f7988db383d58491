#pragma once

#include "selftest/SelfTestHarness.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace pv::test {

// Captures what the suite writes to standard output while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }

    QString text()
    {
        restore();
        QFile read(m_file.fileName());
        read.open(QIODevice::ReadOnly);
        return QString::fromUtf8(read.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        pv::selftest::out().flush();
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace pv::test
