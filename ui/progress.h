// ChangeProgress: moves a progress bar to a position strictly between its
// minimum and maximum and lets the window process pending events.
#pragma once

class QProgressBar;

void ChangeProgress(int position, QProgressBar* bar);

// While a handler waits on the line (a tab's read, a form's opening) the
// window shows the busy cursor; scopes nest.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A message box or dialog shown meanwhile takes the ordinary cursor.
class OrdinaryCursor {
public:
    OrdinaryCursor();
    ~OrdinaryCursor();
    OrdinaryCursor(const OrdinaryCursor&) = delete;
    OrdinaryCursor& operator=(const OrdinaryCursor&) = delete;

private:
    bool pushed_;
};
