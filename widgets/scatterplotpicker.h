#pragma once

#include <qwt_plot_picker.h>

namespace Tessary {

// The scatter plot's click picker on its canvas: no rubber band, no tracker. Picking is
// done by the plot's event filter; pointSelected is declared for that purpose but the
// plot does not emit or connect it.
class ScatterPlotPicker : public QwtPlotPicker
{
    Q_OBJECT
public:
    explicit ScatterPlotPicker(QWidget* canvas);
    ~ScatterPlotPicker() override;

signals:
    void pointSelected(int index);
};

} // namespace Tessary
