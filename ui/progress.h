// ChangeProgress: moves a progress bar to a position strictly between its
// minimum and maximum and lets the window process pending events.
#pragma once

class QProgressBar;

void ChangeProgress(int position, QProgressBar* bar);
