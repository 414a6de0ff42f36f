#include <host/GeoSpec.h>

#include <cmath>

GeoSpec::GeoSpec(bool unused_node, std::uint32_t elec_index, int geo_type, bool north_hemisphere, std::uint16_t utm_zone)
    : m_unused_node(unused_node),
      m_geo_type(static_cast<CoordType>(geo_type)),
      m_north_hemisphere(north_hemisphere),
      m_utm_zone(utm_zone),
      m_elec_index(elec_index)
{
}

GeoSpec::GeoSpec(int geo_type, bool north_hemisphere)
    : m_geo_type(static_cast<CoordType>(geo_type)), m_north_hemisphere(north_hemisphere)
{
}

GeographicPoint::GeographicPoint(double x, double y, double z, double w) : m_valid(true), m_x(x), m_y(y), m_z(z), m_w(w) {}

GeographicPoint::GeographicPoint(bool north_hemisphere, std::uint16_t utm_zone, double x, double y, double z, double w)
    : m_valid(true), m_utm(true), m_north_hemisphere(north_hemisphere), m_utm_zone(utm_zone), m_x(x), m_y(y), m_z(z), m_w(w)
{
}

double sexagesimalToDecimalAngle(double angle)
{
    const double magnitude = std::fabs(angle);
    const double degrees = std::trunc(magnitude / 100.0);
    const double minutes = magnitude - degrees * 100.0;
    const double decimal = degrees + minutes / 60.0;
    return std::signbit(angle) ? -decimal : decimal;
}
