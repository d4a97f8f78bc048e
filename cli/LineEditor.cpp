#include "LineEditor.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include <histedit.h>
#include <langinfo.h>

namespace {
// Enough for a technician's session at the device.
constexpr int historySize = 500;
} // namespace

LineEditor::LineEditor(const char* program)
{
    // libedit decodes what is typed by the locale's character set; the device's text is UTF-8
    // whatever the locale says, and under the C locale an "é" would show as octal escapes.
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    m_history = history_init();
    HistEvent event;
    history(m_history, &event, H_SETSIZE, historySize);
    // Up arrow after running the same command three times should not need three presses.
    history(m_history, &event, H_SETUNIQUE, 1);
    m_editLine = el_init(program, stdin, stderr, stderr);
    el_set(m_editLine, EL_PROMPT, &LineEditor::prompt);
    el_set(m_editLine, EL_EDITOR, "emacs");
    el_set(m_editLine, EL_HIST, history, m_history);
    // The terminal is put back as it was when Ctrl-C or a stop ends chctl mid-line.
    el_set(m_editLine, EL_SIGNAL, 1);
    el_source(m_editLine, nullptr);
}

LineEditor::~LineEditor()
{
    el_end(m_editLine);
    history_end(m_history);
}

bool LineEditor::readLine(QString* line)
{
    int length = 0;
    const char* text = el_gets(m_editLine, &length);
    if (text == nullptr || length <= 0) {
        // The shell's prompt then starts on a line of its own, not after chctl's.
        std::fputc('\n', stderr);
        return false;
    }
    *line = QString::fromUtf8(text, length);
    if (line->endsWith(QLatin1Char('\n'))) {
        line->chop(1);
    }
    if (!line->trimmed().isEmpty()) {
        HistEvent event;
        history(m_history, &event, H_ENTER, text);
    }
    return true;
}

const char* LineEditor::prompt(editline* /*editLine*/)
{
    return "chctl> ";
}
