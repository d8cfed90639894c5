#include "calc/fourierdeform.h"

#include "rtdc/rtdcreader.h"

#include <iostream>

namespace Tessary {

FourierDeform::FourierDeform(QObject* parent)
    : QObject(parent)
{
}

bool FourierDeform::compute(RTDCReader* reader)
{
    if (!reader || !reader->hasMask()) {
        std::cerr << "FourierDeform: the dataset has no event masks" << std::endl;
        return false;
    }
    std::cerr << "FourierDeform: the contour decomposition is not available in this build; "
                 "nothing was computed" << std::endl;
    return false;
}

} // namespace Tessary
