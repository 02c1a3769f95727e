#include "app/shell/TrayLabelShade.h"

#include "app/shell/TrayIconRenderer.h"

#include <QGuiApplication>

TrayLabelShade::TrayLabelShade()
    : m_desktopPalette(QGuiApplication::palette())
{
}

QColor TrayLabelShade::colour(ColorSchemePreference::Scheme scheme) const
{
    return TrayIconRenderer::labelColour(scheme, m_desktopPalette);
}
