#pragma once

#include <QString>

struct editline;
struct history;

// The console's input when a person types it at a terminal: a prompt, line editing and the
// session's lines to go back to, through libedit (~/.editrc applies). The prompt and the
// editing go to standard error, so that standard output holds the console's answers alone,
// as it does for piped input.
class LineEditor
{
public:
    explicit LineEditor(const char* program);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // The next line without its line end; false at the end of input (Ctrl-D).
    bool readLine(QString* line);

private:
    static const char* prompt(editline* editLine);

    editline* m_editLine;
    struct history* m_history;
};
