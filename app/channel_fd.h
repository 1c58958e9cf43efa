#pragma once

// Parses the value of NODE_CHANNEL_FD as a plain decimal number: leading white
// space and a sign are accepted, digits are read up to the first other
// character, and a value without digits gives 0.
int ParseChannelFd(const char* text);
