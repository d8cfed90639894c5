#include "calc/imagefeatures.h"

#include "rtdc/rtdcreader.h"

#include <iostream>

namespace Tessary {

ImageFeatures::ImageFeatures(QObject* parent)
    : QObject(parent)
{
}

const std::vector<std::string>& ImageFeatures::featureNames()
{
    static const std::vector<std::string> names = {"bright_median", "bright_mean", "bright_sd",
                                                   "bright_contrast", "texture_energy", "texture_entropy"};
    return names;
}

bool ImageFeatures::compute(RTDCReader* reader)
{
    if (!reader || !reader->hasImage() || !reader->hasMask()) {
        std::cerr << "ImageFeatures: the dataset has no event images with masks" << std::endl;
        return false;
    }
    std::cerr << "ImageFeatures: the image feature algorithms are not available in this build; "
                 "nothing was computed" << std::endl;
    return false;
}

} // namespace Tessary
