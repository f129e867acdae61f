// The cube field table keeps the shape the scene is built around, and every cube's model matrix
// turns it about its own centre and then moves it to its position.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>

#include "scene/cube_field.h"

namespace {

constexpr std::size_t kCubeCount = 1019;
constexpr std::size_t kFirstGroupCount = 323;

struct Entry {
  int x;
  int y;
  int zTenths;
};

// The table read back as whole x, y and z in tenths; StoresWholeXYAndOneDecimalZAsTheNearestFloats
// makes sure nothing is lost in the rounding.
std::vector<Entry> entries() {
  std::vector<Entry> result;
  for (std::size_t i = 0; i + 2 < kCubeField.size(); i += 3) {
    result.push_back({static_cast<int>(std::lround(kCubeField[i])),
                      static_cast<int>(std::lround(kCubeField[i + 1])),
                      static_cast<int>(std::lround(kCubeField[i + 2] * 10.0f))});
  }
  return result;
}

std::set<int> wholeRange(int low, int high) {
  std::set<int> values;
  for (int v = low; v <= high; ++v) {
    values.insert(v);
  }
  return values;
}

struct Group {
  std::vector<Entry> entries;
  std::set<int> xs, ys, zs;
};

std::pair<Group, Group> groups() {
  const std::vector<Entry> all = entries();
  Group first, second;
  for (std::size_t k = 0; k < all.size(); ++k) {
    Group& group = k < kFirstGroupCount ? first : second;
    group.entries.push_back(all[k]);
    group.xs.insert(all[k].x);
    group.ys.insert(all[k].y);
    group.zs.insert(all[k].zTenths);
  }
  return {first, second};
}

}  // namespace

TEST(CubeFieldTable, HoldsWholePositionsInStorageOfExactlyItsSize) {
  EXPECT_EQ(kCubeField.size(), 3 * kCubeCount);
  EXPECT_EQ(kCubeField.capacity(), kCubeField.size());
}

TEST(CubeFieldTable, StoresWholeXYAndOneDecimalZAsTheNearestFloats) {
  const std::vector<Entry> all = entries();
  ASSERT_EQ(all.size(), kCubeCount);
  for (std::size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(kCubeField[3 * k], static_cast<float>(all[k].x)) << "entry " << k;
    EXPECT_EQ(kCubeField[3 * k + 1], static_cast<float>(all[k].y)) << "entry " << k;
    // Both operands are exact, so the single-precision quotient is the float nearest the decimal.
    EXPECT_EQ(kCubeField[3 * k + 2], static_cast<float>(all[k].zTenths) / 10.0f) << "entry " << k;
  }
}

TEST(CubeFieldTable, SplitsIntoANearAndAFarGroupOfTheirOwnRanges) {
  const auto [first, second] = groups();
  ASSERT_EQ(first.entries.size(), kFirstGroupCount);
  ASSERT_EQ(second.entries.size(), kCubeCount - kFirstGroupCount);

  std::set<int> firstXs = wholeRange(12, 100);
  for (int gap : {20, 27, 46, 47, 52, 53, 54, 82, 90}) {
    firstXs.erase(gap);
  }
  EXPECT_EQ(first.xs, firstXs);
  EXPECT_EQ(first.xs.size(), 80u);
  EXPECT_EQ(first.ys, wholeRange(9, 20));
  EXPECT_EQ(first.zs, wholeRange(-70, -21));

  EXPECT_EQ(second.xs, wholeRange(-20, 20));
  EXPECT_EQ(second.ys, wholeRange(-22, 20));
  EXPECT_EQ(second.zs, wholeRange(-700, -651));
}

TEST(CubeFieldTable, SortsEachGroupByRowThenColumnButLeavesZUnordered) {
  const auto [first, second] = groups();
  for (const Group* group : {&first, &second}) {
    const std::vector<Entry>& list = group->entries;
    for (std::size_t k = 1; k < list.size(); ++k) {
      EXPECT_LT(std::pair(list[k - 1].y, list[k - 1].x), std::pair(list[k].y, list[k].x))
          << "at " << k << " of its group";
    }
    const auto byZ = [](const Entry& a, const Entry& b) { return a.zTenths < b.zTenths; };
    const auto byZDown = [](const Entry& a, const Entry& b) { return a.zTenths > b.zTenths; };
    EXPECT_FALSE(std::is_sorted(list.begin(), list.end(), byZ));
    EXPECT_FALSE(std::is_sorted(list.begin(), list.end(), byZDown));
  }
}

TEST(CubeFieldTable, HoldsNoTwoEqualEntries) {
  std::set<std::tuple<int, int, int>> seen;
  for (const Entry& entry : entries()) {
    EXPECT_TRUE(seen.emplace(entry.x, entry.y, entry.zTenths).second)
        << entry.x << ", " << entry.y << ", " << entry.zTenths;
  }
}

TEST(CubeFieldTable, SharesSixteenPairsBetweenTheGroupsInsideOneCorner) {
  const auto [first, second] = groups();
  std::set<std::pair<int, int>> firstPairs;
  for (const Entry& entry : first.entries) {
    firstPairs.emplace(entry.x, entry.y);
  }
  int shared = 0;
  for (const Entry& entry : second.entries) {
    if (firstPairs.count({entry.x, entry.y}) != 0) {
      ++shared;
      EXPECT_TRUE(entry.x >= 12 && entry.x <= 15 && entry.y >= 11 && entry.y <= 17)
          << entry.x << ", " << entry.y;
    }
  }
  EXPECT_EQ(shared, 16);
}

TEST(CubeFieldTable, HoldsTheTellingEntriesExactly) {
  struct Telling {
    std::size_t entry;
    float x, y, z;
  };
  const Telling telling[] = {
      {0, 37, 9, -6.5f},       {1, 38, 9, -4.1f},       {2, 39, 9, -5.9f},
      {3, 40, 9, -4.6f},       {4, 41, 9, -7.0f},       {322, 100, 20, -4.6f},
      {323, -7, -22, -69.8f},  {324, -6, -22, -66.8f},  {325, -5, -22, -66.5f},
      {1014, -13, 20, -65.4f}, {1015, -12, 20, -67.7f}, {1016, -11, 20, -67.0f},
      {1017, -10, 20, -65.4f}, {1018, -9, 20, -67.6f},
  };
  ASSERT_EQ(kCubeField.size(), 3 * kCubeCount);
  for (const Telling& t : telling) {
    EXPECT_EQ(kCubeField[3 * t.entry], t.x) << "entry " << t.entry;
    EXPECT_EQ(kCubeField[3 * t.entry + 1], t.y) << "entry " << t.entry;
    EXPECT_EQ(kCubeField[3 * t.entry + 2], t.z) << "entry " << t.entry;
  }
}

namespace {

// Everything on the way to a matrix entry is single precision: the angle (within about 1e-7 of
// the true one), sine and cosine, the normalised axis and the terms of the rotation each round by
// an ulp or so of numbers no larger than 1, and the entries come out about 1e-7 from the exact
// rotation. A wrong angle, axis or sense of turn misses by far more than 1e-6.
constexpr double kRotationTolerance = 1e-6;

// The rotation by `degrees` about (1, 0.3, 0.5) normalised, in double precision, as
// cos I + (1 - cos) k k^T + sin [k]x; indexed [row][column].
std::array<std::array<double, 3>, 3> rodrigues(double degrees) {
  const double length = std::sqrt(1.0 + 0.09 + 0.25);
  const double k[3] = {1.0 / length, 0.3 / length, 0.5 / length};
  const double angle = degrees * std::acos(-1.0) / 180.0;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double cross[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
  std::array<std::array<double, 3>, 3> r{};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      r[row][column] =
          (row == column ? c : 0.0) + (1.0 - c) * k[row] * k[column] + s * cross[row][column];
    }
  }
  return r;
}

void expectTurnedBy(const glm::mat4& model, double degrees) {
  const auto expected = rodrigues(degrees);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_NEAR(model[column][row], expected[row][column], kRotationTolerance)
          << "row " << row << ", column " << column;
    }
  }
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(model[column][3], 0.0f) << "column " << column;
  }
}

glm::mat4 modelOfCube(std::uint32_t cube) {
  const std::uint32_t i = 3 * cube;
  return buildCubeModelMatrix(i, kCubeField[i], kCubeField[i + 1], kCubeField[i + 2]);
}

}  // namespace

TEST(CubeModelMatrix, LeavesTheFirstCubeUnturnedAtItsPosition) {
  glm::mat4 expected(1.0f);
  expected[3] = glm::vec4(37.0f, 9.0f, -6.5f, 1.0f);
  EXPECT_EQ(modelOfCube(0), expected);
}

TEST(CubeModelMatrix, TurnsTheSecondCubeSixtyDegreesAndThenMovesIt) {
  const glm::mat4 model = modelOfCube(1);
  expectTurnedBy(model, 60.0);
  // Translation times rotation: the position is not itself turned.
  EXPECT_EQ(model[3], glm::vec4(38.0f, 9.0f, -4.1f, 1.0f));
}

TEST(CubeModelMatrix, TurnsTheSeventhCubeAFullCircle) {
  const glm::mat4 model = modelOfCube(6);
  expectTurnedBy(model, 360.0);
  EXPECT_EQ(model[3], glm::vec4(kCubeField[18], kCubeField[19], kCubeField[20], 1.0f));
}
