#pragma once

#include <cstdint>

// How a coordinate is to be read: the coordinate system and, for layout tables, the row.
class GeoSpec {
public:
    enum CoordType : std::uint8_t {
        NONE = 0,
        LAYOUT_ROW = 1,  // position given by a row of the electrode layout table
        UTM = 2,         // UTM projection: the point carries a zone and a hemisphere
        DOWNLOADED = 3,  // electrodes of measures converted from a meter download
        GPS = 4,         // latitude, longitude, altitude
        CARRIED = 5,     // carried through unchanged
    };

    GeoSpec() = default;
    GeoSpec(bool unused_node, std::uint32_t elec_index, int geo_type, bool north_hemisphere, std::uint16_t utm_zone);
    // The flag is the north-hemisphere flag.
    GeoSpec(int geo_type, bool north_hemisphere);

    CoordType get_geo_type() const { return m_geo_type; }
    bool get_north_hemisphere() const { return m_north_hemisphere; }
    std::uint16_t get_utm_zone() const { return m_utm_zone; }
    std::uint32_t get_elec_index() const { return m_elec_index; }
    bool get_unused_node() const { return m_unused_node; }
    void setGeoType(CoordType type) { m_geo_type = type; }

    friend bool operator==(const GeoSpec&, const GeoSpec&) = default;

private:
    bool m_unused_node = false;
    CoordType m_geo_type = NONE;
    bool m_north_hemisphere = false;
    std::uint16_t m_utm_zone = 0;
    std::uint32_t m_elec_index = 0;
};

// A located point: plain coordinates, or UTM coordinates with hemisphere and zone.
class GeographicPoint {
public:
    GeographicPoint() = default;
    GeographicPoint(double x, double y, double z, double w);
    GeographicPoint(bool north_hemisphere, std::uint16_t utm_zone, double x, double y, double z, double w);

    bool isValid() const { return m_valid; }
    bool isUtm() const { return m_utm; }
    bool getNorthHemisphere() const { return m_north_hemisphere; }
    std::uint16_t getUtmZone() const { return m_utm_zone; }
    double getX() const { return m_x; }
    double getY() const { return m_y; }
    double getZ() const { return m_z; }
    double getW() const { return m_w; }

    friend bool operator==(const GeographicPoint&, const GeographicPoint&) = default;

private:
    bool m_valid = false;
    bool m_utm = false;
    bool m_north_hemisphere = false;
    std::uint16_t m_utm_zone = 0;
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
    double m_w = 0.0;
};

// Converts a GPS angle written as signed degrees and minutes run together, DDDMM.mmmm
// (the form GPS receivers report: 4530.5 is 45 degrees 30.5 minutes), to decimal degrees.
double sexagesimalToDecimalAngle(double angle);
