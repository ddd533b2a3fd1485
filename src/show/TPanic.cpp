#include "TPanic.h"

void TPanic::Press(TCueList& cues, TTimePoint now) {
    const bool again = now < FFadingUntil;
    FFadingUntil = again ? TTimePoint() : now + std::chrono::milliseconds(FFadeTenths * 100);
    for (int32_t i = 0; i < cues.Count(); ++i) {
        TCue& cue = *cues.Items(i);
        if (again)
            cue.StopNow();
        else
            cue.FadeOutAndStop(FFadeTenths);
    }
}
