#pragma once

namespace larkspan::bench {

// `count` listeners of one mount of a real Icecast fed by ffmpeg (MP3 at
// 128 kbit/s), over TLS when asked: our one process with a recording thread
// per listener, then as many `curl -o` processes. Prints, for a steady window
// of `seconds`, CPU seconds, wake-ups per stream per second and resident
// memory per recording; then whether every file is an unbroken part of a
// capture that ran throughout, and how long the stop took. Returns 0 when
// the comparison ran.
int CompareIcecastListeners(int count, int seconds, bool tls);

}  // namespace larkspan::bench
