#include "TPanic.h"

void TPanic::Press(TCueList& cues, TClock::time_point now) {
    const bool again = now < FFadingUntil;
    FFadingUntil = again ? TClock::time_point() : now + std::chrono::milliseconds(FadeTenths * 100);
    for (int32_t i = 0; i < cues.Count(); ++i) {
        TCue& cue = *cues.Items(i);
        if (again)
            cue.StopNow();
        else
            cue.FadeOutAndStop(FadeTenths);
    }
}
