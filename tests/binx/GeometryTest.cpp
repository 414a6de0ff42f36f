#include "BinxTestHelpers.h"

#include <binx/BINX_Geo.h>

#include <gtest/gtest.h>

#include <functional>

using binx_test::ByteFile;
using binx_test::written;
using ertkit_test::Bytes;

namespace {

Bytes specBytes(std::int32_t unused, std::int16_t code, std::uint32_t grid_char, std::uint32_t zone, std::uint32_t index)
{
    return Bytes().i32(unused).i16(code).u32(grid_char).u32(zone).u32(index);
}

} // namespace

TEST(BinxGeoSpec, VersionDecidesTheHemisphereByte)
{
    struct Case {
        int version;
        std::uint8_t last_byte;
        std::streamoff consumed;
        bool north;
    };
    for (const Case& c : {Case{4, 0, 18, false}, Case{5, 0, 19, true}, Case{5, 7, 19, false}, Case{16, 0, 19, true}}) {
        ByteFile file(specBytes(3, 2, 'K', 0x10020, 0x10005).u8(c.last_byte));
        const BINX_GeoSpec spec(file.in(), c.version);
        EXPECT_EQ(file.position(), c.consumed) << c.version;
        EXPECT_EQ(spec.get_north_hemisphere(), c.north) << c.version;
        EXPECT_EQ(spec, BINX_GeoSpec(1, 2, 'K', 0x20, 5, !c.north)) << "zone and index keep their low 16 bits";
    }
}

TEST(BinxGeoSpec, StoredCodesAndConstructorCodesMapDifferently)
{
    // code, type when read from a record, type when given to a constructor
    const std::tuple<std::int16_t, int, int> cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}, {5, 5, 5},
                                                        {6, 0, 0}, {7, 0, 0}, {8, 0, 1}, {9, 0, 0}, {-1, 0, 0}};
    for (const auto& [code, read, constructed] : cases) {
        ByteFile file(specBytes(0, code, 0, 0, 0).u8(0));
        EXPECT_EQ(BINX_GeoSpec(file.in(), 5).get_geo_type(), read) << code;
        EXPECT_EQ(BINX_GeoSpec(code).get_geo_type(), constructed) << code;
        EXPECT_EQ(BINX_GeoSpec(code, true).get_geo_type(), constructed) << code;
        EXPECT_EQ(BINX_GeoSpec(0, code, 0, 0, 0, false).get_geo_type(), constructed) << code;
    }
    EXPECT_FALSE(BINX_GeoSpec(short{2}).get_north_hemisphere());
    EXPECT_TRUE(BINX_GeoSpec(2, false).get_north_hemisphere());
}

TEST(BinxGeoSpec, WritesTheCurrentLayout)
{
    const BINX_GeoSpec north(1, 4, 'N', 32, 65537, false);
    EXPECT_EQ(written(north), specBytes(1, 4, 'N', 32, 65537).u8(0).data());
    ByteFile file(written(north));
    const BINX_GeoSpec back(file.in(), 5);
    EXPECT_TRUE(back.get_north_hemisphere());
    EXPECT_EQ(back.get_elec_index(), 1u); // only the low 16 bits come back

    BINX_GeoSpec south(0, 5, 0, 0, 9, true);
    south.setGeoType(static_cast<GeoSpec::CoordType>(9));
    EXPECT_EQ(written(south), specBytes(0, 0, 0, 0, 9).u8(1).data()); // unknown types are stored as 0
}

TEST(BinxGeo, PointsAndGridsInFileOrder)
{
    const BINX_GeoSpec spec(0, 2, 'T', 31, 4, false);
    const Bytes spec_bytes = specBytes(0, 2, 'T', 31, 4).u8(0);
    const BINX_GridGeo grid(10, 20, 30, 45, spec, 7, 8);
    const Bytes grid_bytes = Bytes().f64(10).f64(20).f64(30).f64(45).append(spec_bytes).f64(7).f64(8);
    EXPECT_EQ(written(grid), grid_bytes.data());
    ByteFile grid_file(grid_bytes);
    const BINX_GridGeo back(grid_file.in(), 5);
    EXPECT_EQ(back, grid);
    EXPECT_EQ(back.getOrientation(), 45.0);
    EXPECT_EQ(grid_file.position(), 67);

    ByteFile short_file(Bytes().u32(0)); // ends inside x: the check before y throws
    EXPECT_THROW(BINX_Geo(short_file.in(), 5), std::runtime_error);
    // The last field coming short is left to whoever reads on.
    ByteFile spec_file(specBytes(0, 1, 0, 0, 0));
    EXPECT_NO_THROW(BINX_GeoSpec(spec_file.in(), 5));
    EXPECT_TRUE(spec_file.in().fail());
}

TEST(BinxQuadrupole, BadElectrodesThrowOnGetAndAreIgnoredOnSet)
{
    BINX_Quadrupole q;
    const auto bad = static_cast<ElectrodeName>(4);
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { q.getX(4u); }, "4 not valid"},
        {[&] { q.getX(bad); }, "4 not valid"},
        {[&] { q.getZ(7u); }, "7 not valid"},
        {[&] { q.getGeoSpec(static_cast<ElectrodeName>(200)); }, "200 not valid"},
    };
    for (const auto& [get, message] : cases) EXPECT_EQ(binx_test::failure<std::out_of_range>(get), message);
    const BINX_Quadrupole before = q;
    q.setX(bad, 1);
    q.setXYZ(bad, 1, 2, 3);
    q.setElectrode(bad, BINX_Geo(1, 2, 3));
    EXPECT_EQ(q, before);

    q.setDepth(ElectrodeName::B, 9);
    q.setXYZ(ElectrodeName::B, 1, 2, 3);
    q.setGeoType(ElectrodeName::B, GeoSpec::DOWNLOADED);
    EXPECT_EQ(q.getDepth(ElectrodeName::B), 9.0); // setXYZ leaves the depth
    EXPECT_EQ(q.getY(1u), 2.0);
    EXPECT_EQ(q.getGeoSpec(ElectrodeName::B).get_geo_type(), GeoSpec::DOWNLOADED);
    EXPECT_EQ(q.getGeoSpec(ElectrodeName::A).get_geo_type(), GeoSpec::NONE);
}
