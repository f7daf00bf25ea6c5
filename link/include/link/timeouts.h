#pragma once

// How long a transfer waits for a line from the receiver. The first line of a
// download gets long, because the user is still setting up the receiver.
struct CloneTimeouts {
    int firstLineMs = 60000;
    int lineMs = 5000;
};

CloneTimeouts& LinkTimeouts();
