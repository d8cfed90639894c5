#include "widgets/scatterplotpicker.h"

#include <qwt_picker_machine.h>

namespace Tessary {

ScatterPlotPicker::ScatterPlotPicker(QWidget* canvas)
    : QwtPlotPicker(QwtAxis::XBottom, QwtAxis::YLeft, QwtPicker::NoRubberBand, QwtPicker::AlwaysOff, canvas)
{
    setStateMachine(new QwtPickerClickPointMachine());
    setEnabled(true);
}

ScatterPlotPicker::~ScatterPlotPicker() = default;

} // namespace Tessary
