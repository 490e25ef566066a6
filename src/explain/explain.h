// quorlan --explain: how the configuration was read and what a run would make of the cards.
#pragma once

namespace quorlan {

// Reads "quorlan.ini" and the vCard file exactly as a run does, writes and changes no file,
// and prints on standard output what every configuration line did, warnings about likely
// mistakes, and how many cards a run would write or leave out and why. Returns the exit
// status: 1 after a failure, reported as a run reports it (a missing vCard file only after
// the settings have been printed), else 0, warnings or not.
int run_explain();

}  // namespace quorlan
