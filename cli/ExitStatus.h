// The exit statuses of tavikctl, as its manual page lists them.
#pragma once

enum EExitStatus : int {
    EXIT_DONE = 0,          // done; for status: Ready
    EXIT_REFUSED = 1,       // refused by the instrument, or by a check before sending
    EXIT_USAGE = 2,         // usage or configuration error
    EXIT_NO_ANSWER = 3,     // no answer within the attempts
    EXIT_NO_INSTRUMENT = 4, // no instrument answers as the one asked for
    EXIT_NO_LINK = 5,       // the link could not be set up
    EXIT_INTERRUPTED = 130, // SIGINT or SIGTERM ended a wait
};
