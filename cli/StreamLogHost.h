#pragma once
// An engine's log on a standard stream: each line goes to a LineWriter, or
// nowhere (--quiet for the per-datagram lines). There is no box to scroll.

#include "cli/LineWriter.h"
#include "relay/LogHost.h"

class StreamLogHost : public LogHost {
public:
    // writer null: the lines are dropped.
    explicit StreamLogHost(LineWriter* writer) : m_writer(writer) {}

    void AppendLog(const CString& line) override
    {
        if (m_writer)
            m_writer->Write(line.View());
    }
    void ScrollLogToEnd() override {}

private:
    LineWriter* m_writer;
};
