// The labels of the program's timing traces (WriteTrace). The tests, the soak run and the demo find
// the program's work in its debug output by these same labels; the Python side reads this file
// through tests/wine/trace_labels.py, so each label stays one line of this plain form.
#pragma once

namespace TraceLabel {

constexpr char RandomFirstFile[] = "RandomFirstFile ";  // the walk picked the show's first entry
constexpr char LoadCutShort[] = "LoadCutShort ";        // the show ended or restarted during a load
constexpr char ProcessImage[] = "ProcessImage ";        // a picture reduced to fit
constexpr char ReduceRows[] = "\trows";                 // the reduction's three passes, in order
constexpr char ReduceColumns[] = "\tcols";
constexpr char ReduceMove[] = "\tmove";
constexpr char CreateBIPalette[] = "CreateBIPalette ";  // a picture's palette made
constexpr char StretchDIBits[] = "StretchDIBits ";      // a picture drawn
constexpr char Backdrop[] = "Backdrop ";                // a picture's backdrop made
constexpr char FadeFrame[] = "FadeFrame ";              // one frame of a fade blended in

}  // namespace TraceLabel
