#pragma once

#include <QWidget>

namespace vantor::app {

// Stands in for the extractor window Form2 until the region map is built: it says so.
class ExtractorPlaceholder final : public QWidget {
    Q_OBJECT
public:
    explicit ExtractorPlaceholder(QWidget* parent = nullptr);
};

}  // namespace vantor::app
