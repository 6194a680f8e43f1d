// Standard input and output as plain byte streams.
#pragma once

namespace dravo::host {

// The protocol is newline-delimited bytes; on Windows the C runtime would
// otherwise turn every "\n" written into "\r\n" and stop reading at a ^Z.
void UseBinaryStdio();

}  // namespace dravo::host
