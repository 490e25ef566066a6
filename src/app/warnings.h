// The few things a run that succeeded still has to tell: a switch that has no effect, a
// document that XML readers will refuse, a field that was meant as a switch, a card file
// in which no card was found, and a phonebook the filter left empty.
#pragma once

#include "config/settings.h"
#include "convert/observer.h"
#include "convert/document.h"
#include "diagnose/cards.h"

namespace quorlan {

// The cards the filter left out and why, for the warning about an empty phonebook; the
// counting stops at the first record written, after which no warning can come.
struct LeftOutTally {
    CardWatch cards;
    bool any_written = false;
    void operator()(const CardEnded& card);
};

LeftOutTally make_left_out_tally(const Settings& settings);
// Tells `tally`, which must outlive the run, of every card's end.
ConversionObserver left_out_observer(LeftOutTally& tally);

// Prints one "quorlan: warning: ..." line on standard error for UTF8=1 without DECODE=1,
// for each element name that is not an XML name, for each mapping that looks like a
// mistyped switch, one when `input_held_bytes` but no card ended, and one when cards ended
// but none was written, with the commonest reason found in `tally`.
void warn_about_the_document(const Settings& settings, const DocumentNames& names, const ConversionResult& result,
                             bool input_held_bytes, const LeftOutTally& tally);

}  // namespace quorlan
