#pragma once

#include <QObject>

#include <string>
#include <vector>

namespace Tessary {

class RTDCReader;

// Brightness and texture features of the event image inside its mask. The
// algorithms are not part of this build: compute reports that on standard
// error and returns false without storing anything.
class ImageFeatures : public QObject
{
    Q_OBJECT
public:
    explicit ImageFeatures(QObject* parent = nullptr);

    // Would store every feature of featureNames(); needs images and masks.
    bool compute(RTDCReader* reader);

    // The names the calculation would store, "bright_median" first.
    static const std::vector<std::string>& featureNames();

    bool isAvailable() const { return false; }

signals:
    void progressChanged(int percent);
};

} // namespace Tessary
