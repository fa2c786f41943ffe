#pragma once
// ProgressShown: the job's progress bar, repainted only when the whole percentage changes, so a transfer
// of many small pieces does not queue a repaint for each one. It starts from 0, where the job set the bar
// before its transfer.
//
// Threads: the job thread.

#include "output/job_view.h"

namespace hlx::jobs {

class ProgressShown {
public:
    explicit ProgressShown(output::JobView& view) : m_view(view) {}
    void show(int percent) {
        if (percent == m_last) return;
        m_last = percent;
        m_view.setProgress(percent);
    }

private:
    output::JobView& m_view;
    int m_last = 0;
};

}  // namespace hlx::jobs
