// Preloaded into a program that plays through ALSA, makes every write fail
// as after an underrun while recovering from it still succeeds: a device
// that never takes a frame, as a sound server that has gone away can be.
#include <alsa/asoundlib.h>

#include <cerrno>

extern "C" snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t*, const void*, snd_pcm_uframes_t)
{
    return -EPIPE;
}
