#pragma once
// JobView: what a job sees of the main window besides the output window: the progress bar and the idle
// poll's timer. Same thread rules as OutputWindow.

namespace hlx::output {

class JobView {
public:
    virtual ~JobView() = default;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgress(int position) = 0;  // and repaint the bar
    virtual void setIdlePollEnabled(bool enabled) = 0;
};

}  // namespace hlx::output
