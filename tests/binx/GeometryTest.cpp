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
        EXPECT_TRUE(spec.get_unused_node());
        EXPECT_EQ(spec.get_geo_type(), GeoSpec::UTM);
        EXPECT_EQ(spec.getUtmGridChar(), unsigned{'K'});
        EXPECT_EQ(spec.get_utm_zone(), 0x20); // low 16 bits
        EXPECT_EQ(spec.get_elec_index(), 5u);
    }
}

TEST(BinxGeoSpec, StoredCodesAndConstructorCodesMapDifferently)
{
    struct Case {
        std::int16_t code;
        GeoSpec::CoordType read;
        GeoSpec::CoordType constructed;
    };
    const Case cases[] = {{0, GeoSpec::NONE, GeoSpec::NONE},         {1, GeoSpec::LAYOUT_ROW, GeoSpec::LAYOUT_ROW},
                          {2, GeoSpec::UTM, GeoSpec::UTM},           {3, GeoSpec::DOWNLOADED, GeoSpec::DOWNLOADED},
                          {4, GeoSpec::GPS, GeoSpec::GPS},           {5, GeoSpec::CARRIED, GeoSpec::CARRIED},
                          {6, GeoSpec::NONE, GeoSpec::NONE},         {7, GeoSpec::NONE, GeoSpec::NONE},
                          {8, GeoSpec::NONE, GeoSpec::LAYOUT_ROW},   {9, GeoSpec::NONE, GeoSpec::NONE},
                          {-1, GeoSpec::NONE, GeoSpec::NONE}};
    for (const Case& c : cases) {
        ByteFile file(specBytes(0, c.code, 0, 0, 0).u8(0));
        EXPECT_EQ(BINX_GeoSpec(file.in(), 5).get_geo_type(), c.read) << c.code;
        EXPECT_EQ(BINX_GeoSpec(c.code).get_geo_type(), c.constructed) << c.code;
        EXPECT_EQ(BINX_GeoSpec(c.code, false).get_geo_type(), c.constructed) << c.code;
        EXPECT_EQ(BINX_GeoSpec(0, c.code, 0, 0, 0, false).get_geo_type(), c.constructed) << c.code;
    }
}

TEST(BinxGeoSpec, ConstructorsTakeTheNotNorthFlag)
{
    EXPECT_FALSE(BINX_GeoSpec(short{2}).get_north_hemisphere());
    EXPECT_TRUE(BINX_GeoSpec(2, false).get_north_hemisphere());
    EXPECT_FALSE(BINX_GeoSpec(2, true).get_north_hemisphere());
    const BINX_GeoSpec six(7, 2, 'X', 0x10021, 70000, false);
    EXPECT_TRUE(six.get_unused_node());
    EXPECT_TRUE(six.get_north_hemisphere());
    EXPECT_EQ(six.get_utm_zone(), 0x21);
    EXPECT_EQ(six.get_elec_index(), 70000u); // kept whole in memory
    EXPECT_EQ(six.getUtmGridChar(), unsigned{'X'});
    EXPECT_EQ(BINX_GeoSpec(), BINX_GeoSpec(0, 0, 0, 0, 0, true));
}

TEST(BinxGeoSpec, WritesTheCurrentLayoutAndReadsItBack)
{
    const BINX_GeoSpec north(1, 4, 'N', 32, 65537, false);
    EXPECT_EQ(written(north), specBytes(1, 4, 'N', 32, 65537).u8(0).data());
    ByteFile file(written(north));
    const BINX_GeoSpec back(file.in(), 5);
    EXPECT_TRUE(back.get_north_hemisphere());
    EXPECT_EQ(back.get_elec_index(), 1u); // only the low 16 bits come back
    EXPECT_EQ(back.get_geo_type(), GeoSpec::GPS);

    BINX_GeoSpec south(0, 5, 0, 0, 9, true);
    south.setGeoType(static_cast<GeoSpec::CoordType>(9));
    EXPECT_EQ(written(south), specBytes(0, 0, 0, 0, 9).u8(1).data()); // unknown types are stored as 0
}

TEST(BinxGeo, PointsAndGridsInFileOrder)
{
    const BINX_GeoSpec spec(0, 2, 'T', 31, 4, false);
    const BINX_Geo point(1.5, 2.5, 3.5, 4.5, spec);
    const Bytes point_bytes = Bytes().f64(1.5).f64(2.5).f64(3.5).f64(4.5).append(specBytes(0, 2, 'T', 31, 4)).u8(0);
    EXPECT_EQ(written(point), point_bytes.data());
    ByteFile point_file(point_bytes);
    EXPECT_EQ(BINX_Geo(point_file.in(), 5), point);

    const BINX_GridGeo grid(10, 20, 30, 45, spec, 7, 8);
    const Bytes grid_bytes = Bytes().append(Bytes().f64(10).f64(20).f64(30).f64(45)).append(specBytes(0, 2, 'T', 31, 4)).u8(0).f64(7).f64(8);
    EXPECT_EQ(written(grid), grid_bytes.data());
    ByteFile grid_file(grid_bytes);
    const BINX_GridGeo back(grid_file.in(), 5);
    EXPECT_EQ(back, grid);
    EXPECT_EQ(back.getOrientation(), 45.0);
    EXPECT_EQ(back.getLocalY(), 8.0);
    EXPECT_EQ(grid_file.position(), 67);
}

TEST(BinxGeo, ShortStreamThrowsAtTheNextCheck)
{
    ByteFile file(Bytes().u32(0)); // ends inside x
    try {
        BINX_Geo point(file.in(), 5);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "error reading file");
    }
    // The last field of a record coming short is left to whoever reads on.
    ByteFile spec_file(specBytes(0, 1, 0, 0, 0));
    EXPECT_NO_THROW(BINX_GeoSpec(spec_file.in(), 5));
    EXPECT_TRUE(spec_file.in().fail());
}

TEST(BinxQuadrupole, ReadsFourPointsPerVersion)
{
    for (const int version : {4, 5}) {
        Bytes bytes;
        for (int e = 0; e < 4; ++e) {
            bytes.f64(e).f64(e + 10).f64(e + 20).f64(e + 30).append(specBytes(0, 1, 0, 0, static_cast<std::uint32_t>(e)));
            if (version >= 5) bytes.u8(1);
        }
        ByteFile file(bytes);
        const BINX_Quadrupole q(file.in(), version);
        EXPECT_EQ(file.position(), version >= 5 ? 204 : 200);
        EXPECT_EQ(q.getX(ElectrodeName::N), 3.0);
        EXPECT_EQ(q.getZ(2u), 22.0);
        EXPECT_EQ(q.getDepth(ElectrodeName::A), 30.0);
        EXPECT_EQ(q.getGeoSpec(ElectrodeName::M).get_elec_index(), 2u);
    }
}

TEST(BinxQuadrupole, BadElectrodesThrowOnGetAndAreIgnoredOnSet)
{
    BINX_Quadrupole q;
    const auto bad = static_cast<ElectrodeName>(4);
    struct Case {
        std::function<void()> get;
        const char* message;
    };
    const Case cases[] = {
        {[&] { q.getX(4u); }, "4 not valid"},
        {[&] { q.getX(bad); }, "4 not valid"},
        {[&] { q.getZ(7u); }, "7 not valid"},
        {[&] { q.getDepth(static_cast<ElectrodeName>(200)); }, "200 not valid"},
        {[&] { q.getGeoSpec(bad); }, "4 not valid"},
    };
    for (const Case& c : cases) {
        try {
            c.get();
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    const BINX_Quadrupole before = q;
    q.setX(bad, 1);
    q.setXYZ(bad, 1, 2, 3);
    q.setGeoType(bad, GeoSpec::GPS);
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
