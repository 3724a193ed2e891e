#pragma once

// The mark of a click under way: a file of the tool's own beside the state file, made durable
// before a click writes anything and removed, durably, once its batch has ended. A start that
// finds it knows that a click was cut off (killed, or by a power cut) and finishes it.

// True when the mark was made durable.
bool markClickUnderWay();

// True when the mark is gone, durably.
bool clearClickMark();

bool clickMarkFound();
