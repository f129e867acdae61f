// Forgetting the image decoder's last failure, for callers that read the reason of the next one.
#pragma once

// The decoder keeps its last failure's reason until another failure replaces it, and some of its
// failures give none: without this a caller would read an earlier, unrelated reason.
void forgetDecoderFailure();
