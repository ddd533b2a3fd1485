#include "TCueSettings.h"

TCueSettings TCueSettings::Of(const TCue& cue) {
    return {cue.Description, cue.FileName,   cue.AudioChannel(), cue.Pan(),
            cue.Pitch(),     cue.VolumeDB(), cue.Loop,           cue.FadeIn(),
            cue.FadeOut(),   cue.PreWait(),  cue.PostWait(),     cue.Continue()};
}

void TCueSettings::ApplyTo(TCue& cue) const {
    cue.Description = Description;
    cue.FileName = FileName;
    cue.SetAudioChannel(AudioChannel);
    cue.SetPan(Pan);
    cue.SetPitch(Pitch);
    cue.SetVolumeDB(VolumeDB);
    cue.Loop = Loop;
    cue.SetFadeIn(FadeIn);
    cue.SetFadeOut(FadeOut);
    cue.SetPreWait(PreWait);
    cue.SetPostWait(PostWait);
    cue.SetContinue(Continue);
}
