#include <binx/BINX_Geo.h>

#include <binx/BinaryInput.h>
#include <binx/BinaryOutput.h>

#include <stdexcept>
#include <string>

namespace {

// Stored codes as a geo-spec record holds them: the five known types, anything else none.
GeoSpec::CoordType storedCoordType(short code)
{
    return code >= 1 && code <= 5 ? static_cast<GeoSpec::CoordType>(code) : GeoSpec::NONE;
}

short storedCode(GeoSpec::CoordType type)
{
    return type <= GeoSpec::CARRIED ? static_cast<short>(type) : 0;
}

} // namespace

BINX_GeoSpec::BINX_GeoSpec() : GeoSpec(false, 0, 0, false, 0) {}

BINX_GeoSpec::BINX_GeoSpec(short code) : GeoSpec(getCoordType(code), false) {}

BINX_GeoSpec::BINX_GeoSpec(short code, bool not_north) : GeoSpec(getCoordType(code), !not_north) {}

BINX_GeoSpec::BINX_GeoSpec(unsigned int unused_node, short code, unsigned int utm_grid_char, unsigned int utm_zone,
                           unsigned int elec_index, bool not_north)
    : GeoSpec(unused_node != 0, elec_index, getCoordType(code), !not_north, static_cast<std::uint16_t>(utm_zone)),
      m_utm_grid_char(utm_grid_char)
{
}

BINX_GeoSpec::BINX_GeoSpec(std::ifstream& in, int version) : BINX_GeoSpec()
{
    binx_io::BinaryInput io(in, binx_io::s_record_read_error);
    const auto unused_node = io.get<std::int32_t>();
    const auto code = io.get<std::int16_t>();
    io.read(m_utm_grid_char);
    const auto utm_zone = io.get<std::uint32_t>();
    const auto elec_index = io.get<std::uint32_t>();
    bool north = false;
    if (version >= 5) north = io.get<std::uint8_t>() == 0;
    static_cast<GeoSpec&>(*this) = GeoSpec(unused_node != 0, elec_index & 0xFFFFu, storedCoordType(code), north,
                                           static_cast<std::uint16_t>(utm_zone));
}

GeoSpec::CoordType BINX_GeoSpec::getCoordType(short code)
{
    return code == 8 ? GeoSpec::LAYOUT_ROW : storedCoordType(code);
}

void BINX_GeoSpec::writeToFile(std::ostream& out) const
{
    binx_io::BinaryOutput io(out);
    io.write(static_cast<std::int32_t>(get_unused_node() ? 1 : 0));
    io.write(storedCode(get_geo_type()));
    io.write(m_utm_grid_char);
    io.write(static_cast<std::uint32_t>(get_utm_zone()));
    io.write(get_elec_index());
    io.write(static_cast<std::uint8_t>(get_north_hemisphere() ? 0 : 1));
}

BINX_Geo::BINX_Geo(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}

BINX_Geo::BINX_Geo(double x, double y, double z, double depth, BINX_GeoSpec spec)
    : m_x(x), m_y(y), m_z(z), m_depth(depth), m_spec(spec)
{
}

BINX_Geo::BINX_Geo(std::ifstream& in, int version)
{
    binx_io::BinaryInput io(in, binx_io::s_record_read_error);
    io.read(m_x);
    io.read(m_y);
    io.read(m_z);
    io.read(m_depth);
    m_spec = BINX_GeoSpec(in, version);
}

void BINX_Geo::writeToFile(std::ostream& out) const
{
    binx_io::BinaryOutput io(out);
    io.write(m_x);
    io.write(m_y);
    io.write(m_z);
    io.write(m_depth);
    m_spec.writeToFile(out);
}

BINX_GridGeo::BINX_GridGeo(double x, double y, double z, double orientation, BINX_GeoSpec spec, double local_x,
                           double local_y)
    : m_global(x, y, z, orientation, spec), m_local_x(local_x), m_local_y(local_y)
{
}

BINX_GridGeo::BINX_GridGeo(std::ifstream& in, int version) : m_global(in, version)
{
    binx_io::BinaryInput io(in, binx_io::s_record_read_error);
    io.read(m_local_x);
    io.read(m_local_y);
}

void BINX_GridGeo::writeToFile(std::ostream& out) const
{
    m_global.writeToFile(out);
    binx_io::BinaryOutput io(out);
    io.write(m_local_x);
    io.write(m_local_y);
}

BINX_Quadrupole::BINX_Quadrupole(BINX_Geo a, BINX_Geo b, BINX_Geo m, BINX_Geo n) : m_points{a, b, m, n} {}

BINX_Quadrupole::BINX_Quadrupole(std::ifstream& in, int version)
{
    for (auto& point : m_points) point = BINX_Geo(in, version);
}

const BINX_Geo& BINX_Quadrupole::at(unsigned int index) const
{
    if (index >= m_points.size()) throw std::out_of_range(std::to_string(index) + " not valid");
    return m_points[index];
}

BINX_Geo* BINX_Quadrupole::find(ElectrodeName e)
{
    const unsigned int i = index(e);
    return i < m_points.size() ? &m_points[i] : nullptr;
}

void BINX_Quadrupole::setX(ElectrodeName e, double x)
{
    if (auto* p = find(e)) p->setX(x);
}

void BINX_Quadrupole::setY(ElectrodeName e, double y)
{
    if (auto* p = find(e)) p->setY(y);
}

void BINX_Quadrupole::setZ(ElectrodeName e, double z)
{
    if (auto* p = find(e)) p->setZ(z);
}

void BINX_Quadrupole::setDepth(ElectrodeName e, double depth)
{
    if (auto* p = find(e)) p->setDepth(depth);
}

void BINX_Quadrupole::setXYZ(ElectrodeName e, double x, double y, double z)
{
    if (auto* p = find(e)) {
        p->setX(x);
        p->setY(y);
        p->setZ(z);
    }
}

void BINX_Quadrupole::setGeoSpec(ElectrodeName e, BINX_GeoSpec spec)
{
    if (auto* p = find(e)) p->setGeoSpec(spec);
}

void BINX_Quadrupole::setGeoType(ElectrodeName e, GeoSpec::CoordType type)
{
    if (auto* p = find(e)) p->setGeoType(type);
}

void BINX_Quadrupole::setElectrode(ElectrodeName e, BINX_Geo point)
{
    if (auto* p = find(e)) *p = point;
}

void BINX_Quadrupole::writeToFile(std::ostream& out) const
{
    for (const auto& point : m_points) point.writeToFile(out);
}
