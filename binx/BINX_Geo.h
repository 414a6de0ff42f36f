#pragma once

#include <host/GeoSpec.h>
#include <host/HostEnums.h>

#include <array>
#include <cstdint>
#include <fstream>

// How a point of a result record is to be read: the host's GeoSpec plus
// the character of its UTM grid cell.
class BINX_GeoSpec : public GeoSpec {
public:
    BINX_GeoSpec();
    explicit BINX_GeoSpec(short code);
    // `not_north` is true when the point is not in the northern hemisphere.
    BINX_GeoSpec(short code, bool not_north);
    // The six stored fields in stored order.
    BINX_GeoSpec(unsigned int unused_node, short code, unsigned int utm_grid_char, unsigned int utm_zone,
                 unsigned int elec_index, bool not_north);
    // A stored geo-spec record of the given record version (the hemisphere byte from 5 on).
    BINX_GeoSpec(std::ifstream& in, int version);

    unsigned int getUtmGridChar() const { return m_utm_grid_char; }

    // Always the current layout: 19 bytes with the hemisphere byte.
    void writeToFile(std::ostream& out) const;

    friend bool operator==(const BINX_GeoSpec&, const BINX_GeoSpec&) = default;

    static constexpr std::size_t s_size_in_bytes = 19;

protected:
    // Code 8 is an old name of the layout-row type when a code is given to a constructor.
    static CoordType getCoordType(short code);

private:
    std::uint32_t m_utm_grid_char = 0;
};

// One located point: coordinates, a depth and how to read them.
class BINX_Geo {
public:
    // Coordinates from this value on mark an electrode placed "at infinity", the way
    // instruments store a remote electrode.
    static constexpr float s_remote_coordinate = 9999998.0f;

    BINX_Geo() = default;
    BINX_Geo(double x, double y, double z);
    BINX_Geo(double x, double y, double z, double depth, BINX_GeoSpec spec);
    BINX_Geo(std::ifstream& in, int version);

    double getX() const { return m_x; }
    double getY() const { return m_y; }
    double getZ() const { return m_z; }
    double getDepth() const { return m_depth; }
    const BINX_GeoSpec& getGeoSpec() const { return m_spec; }

    void setX(double x) { m_x = x; }
    void setY(double y) { m_y = y; }
    void setZ(double z) { m_z = z; }
    void setDepth(double depth) { m_depth = depth; }
    void setGeoSpec(BINX_GeoSpec spec) { m_spec = spec; }
    void setGeoType(GeoSpec::CoordType type) { m_spec.setGeoType(type); }

    void writeToFile(std::ostream& out) const;

    friend bool operator==(const BINX_Geo&, const BINX_Geo&) = default;

private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
    double m_depth = 0.0;
    BINX_GeoSpec m_spec;
};

// A grid point: global coordinates with the grid orientation in the depth slot, then the
// point's local coordinates in the grid.
class BINX_GridGeo {
public:
    BINX_GridGeo() = default;
    BINX_GridGeo(double x, double y, double z, double orientation, BINX_GeoSpec spec, double local_x, double local_y);
    BINX_GridGeo(std::ifstream& in, int version);

    double getX() const { return m_global.getX(); }
    double getY() const { return m_global.getY(); }
    double getZ() const { return m_global.getZ(); }
    double getOrientation() const { return m_global.getDepth(); }
    double getLocalX() const { return m_local_x; }
    double getLocalY() const { return m_local_y; }
    const BINX_GeoSpec& getGeoSpec() const { return m_global.getGeoSpec(); }
    void setGeoType(GeoSpec::CoordType type) { m_global.setGeoType(type); }

    void writeToFile(std::ostream& out) const;

    friend bool operator==(const BINX_GridGeo&, const BINX_GridGeo&) = default;

private:
    BINX_Geo m_global;
    double m_local_x = 0.0;
    double m_local_y = 0.0;
};

// The four electrodes of a measure, A, B, M, N, addressed by name or by index 0-3.
class BINX_Quadrupole {
public:
    BINX_Quadrupole() = default;
    BINX_Quadrupole(BINX_Geo a, BINX_Geo b, BINX_Geo m, BINX_Geo n);
    BINX_Quadrupole(std::ifstream& in, int version);

    // An index or name above 3 throws std::out_of_range "<value> not valid".
    double getX(unsigned int index) const { return at(index).getX(); }
    double getY(unsigned int index) const { return at(index).getY(); }
    double getZ(unsigned int index) const { return at(index).getZ(); }
    double getDepth(unsigned int index) const { return at(index).getDepth(); }
    const BINX_GeoSpec& getGeoSpec(unsigned int index) const { return at(index).getGeoSpec(); }
    double getX(ElectrodeName e) const { return getX(index(e)); }
    double getY(ElectrodeName e) const { return getY(index(e)); }
    double getZ(ElectrodeName e) const { return getZ(index(e)); }
    double getDepth(ElectrodeName e) const { return getDepth(index(e)); }
    const BINX_GeoSpec& getGeoSpec(ElectrodeName e) const { return getGeoSpec(index(e)); }

    // A name above 3 changes nothing.
    void setX(ElectrodeName e, double x);
    void setY(ElectrodeName e, double y);
    void setZ(ElectrodeName e, double z);
    void setDepth(ElectrodeName e, double depth);
    void setXYZ(ElectrodeName e, double x, double y, double z);
    void setGeoSpec(ElectrodeName e, BINX_GeoSpec spec);
    void setGeoType(ElectrodeName e, GeoSpec::CoordType type);
    void setElectrode(ElectrodeName e, BINX_Geo point);

    void writeToFile(std::ostream& out) const;

    friend bool operator==(const BINX_Quadrupole&, const BINX_Quadrupole&) = default;

private:
    static unsigned int index(ElectrodeName e) { return static_cast<unsigned int>(e); }
    const BINX_Geo& at(unsigned int index) const;
    BINX_Geo* find(ElectrodeName e);

    std::array<BINX_Geo, 4> m_points{};
};
