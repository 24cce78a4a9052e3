#include "app/extractor_placeholder.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vantor::app {

ExtractorPlaceholder::ExtractorPlaceholder(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Vantor - Charger XML"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(this);
    note->setObjectName(QStringLiteral("Notice"));
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    note->setText(QStringLiteral(
        "La carte de la région et l'extraction d'un fichier de scène arrivent dans une version ultérieure "
        "de Vantor.\n\nThe region map and the extraction of a scene file come in a later version of Vantor."));
    layout->addWidget(note);
    resize(420, 160);
}

}  // namespace vantor::app
