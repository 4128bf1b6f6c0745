#include "json/writer.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace obrelix::json {
namespace {

#if !defined(__SIZEOF_INT128__)
#error "the floating text needs a 128-bit integer type"
#endif
__extension__ typedef unsigned __int128 uint128;

// Entry 0: the byte is written as it is; otherwise the character after the
// backslash, where 'u' selects the six-byte form \u00XX.
constexpr std::array<char, 256> escape_table = [] {
  std::array<char, 256> table{};
  constexpr char controls[] = "uuuuuuuubtnufruuuuuuuuuuuuuuuuuu";
  for (std::size_t byte = 0; byte < 0x20; ++byte) table[byte] = controls[byte];
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

constexpr char hex_digits[] = "0123456789abcdef";

// "00", "01", ... "99": integer and exponent digits are produced two at a time.
constexpr std::array<char, 200> two_digits = [] {
  std::array<char, 200> table{};
  for (std::size_t i = 0; i < 100; ++i) {
    table[2 * i] = static_cast<char>('0' + i / 10);
    table[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

constexpr std::array<std::uint64_t, 20> powers_of_ten = [] {
  std::array<std::uint64_t, 20> table{};
  std::uint64_t power = 1;
  for (std::uint64_t& entry : table) {
    entry = power;
    power *= 10;
  }
  return table;
}();

inline void put_two_digits(char* at, std::uint32_t value) noexcept {
  std::memcpy(at, &two_digits[2 * value], 2);
}

// Writes exactly eight digits, leading zeros included.
inline void put_eight_digits(char* at, std::uint32_t value) noexcept {
  const std::uint32_t high = value / 10000;
  const std::uint32_t low = value % 10000;
  put_two_digits(at, high / 100);
  put_two_digits(at + 2, high % 100);
  put_two_digits(at + 4, low / 100);
  put_two_digits(at + 6, low % 100);
}

// --- Shortest digits of a double.
//
// The decimal is found by the Schubfach method: the value and both ends of its
// rounding interval are scaled by a 126-bit approximation g of a power of ten
// and rounded to odd, which is provably enough to tell exactly which decimals
// of the two candidate lengths lie inside the interval and which is nearest.

constexpr int min_exponent_of_two = -1074;  // of the smallest subnormal
constexpr std::uint64_t hidden_bit = std::uint64_t{1} << 52;

// floor(q * log10(2)), floor(log10(3/4 * 2^q)) and floor(e * log2(10)), exact
// for every exponent a double can have.
constexpr int floor_log10_pow2(int q) noexcept {
  return static_cast<int>((std::int64_t{q} * 661971961083) >> 41);
}
constexpr int floor_log10_three_quarters_pow2(int q) noexcept {
  return static_cast<int>((std::int64_t{q} * 661971961083 - 274743187321) >> 41);
}
constexpr int floor_log2_pow10(int e) noexcept {
  return static_cast<int>((std::int64_t{e} * 913124641741) >> 38);
}

constexpr int min_decimal_exponent = -324;  // floor_log10_pow2(-1074)

struct Scale {
  std::uint64_t high;
  std::uint64_t low;
};

// For k = -324 ... 292: g = floor(10^-k * 2^(125 - floor_log2_pow10(-k))) + 1,
// a 126-bit number split into its high and low 63 bits.
constexpr Scale scales[] = {
    {0x4f0cedc95a718dd4u, 0x5b01e8b09aa0d1b5u}, {0x7e7b160ef71c1621u, 0x119ca780f767b5eeu},
    {0x652f44d8c5b011b4u, 0x0e16ec672c52f7f2u}, {0x50f29d7a37c00e29u, 0x581256b8f0425ff5u},
    {0x40c21794f96671bau, 0x79a84560c0351991u}, {0x679cf287f570b5f7u, 0x75da089acd21c281u},
    {0x52e3f5399126f7f9u, 0x44ae6d48a41b0201u}, {0x424ff76140ebf994u, 0x36f1f106e9af34cdu},
    {0x6a198bcece465c20u, 0x57e981a4a918547bu}, {0x54e13ca571d1e34du, 0x2cbace1d541376c9u},
    {0x43e763b78e4182a4u, 0x23c8a4e44342c56eu}, {0x6ca56c58e39c043au, 0x060dd4a06b9e08b0u},
    {0x56eabd13e9499cfbu, 0x1e7176e6bc7e6d59u}, {0x458897432107b0c8u, 0x7ec12bebc9febde1u},
    {0x6f40f20501a5e7a7u, 0x7e01dfdfa9979635u}, {0x5900c19d9aeb1fb9u, 0x4b34b319547944f7u},
    {0x4733ce17af227fc7u, 0x55c3c27aa9fa9d93u}, {0x71ec7cf2b1d0cc72u, 0x560603f7765dc8eau},
    {0x5b2397288e40a38eu, 0x7804cff92b7e3a55u}, {0x48e945ba0b66e93fu, 0x13370cc755fe9511u},
    {0x74a86f90123e41feu, 0x51f1ae0bbcca881bu}, {0x5d538c7341cb67feu, 0x74c1580963d539afu},
    {0x4aa93d29016f8665u, 0x43cde0078310faf3u}, {0x77752ea8024c0a3cu, 0x0616333f381b2b1eu},
    {0x5f90f22001d66e96u, 0x3811c298f9af55b1u}, {0x4c73f4e667debedeu, 0x600e35472e25de28u},
    {0x7a532170a6313164u, 0x3349eed849d6303fu}, {0x61dc1ac084f42783u, 0x42a18be03b11c033u},
    {0x4e49af006a5cec69u, 0x1bb46fe695a7ccf5u}, {0x7d42b19a43c7e0a8u, 0x2c53e63dbc3fae55u},
    {0x64355ae1cfd31a20u, 0x237651cafcffbeaau}, {0x502aaf1b0ca8e1b3u, 0x35f8416f30cc9888u},
    {0x402225af3d53e7c2u, 0x5e603458f3d6e06du}, {0x669d0918621fd937u, 0x4a3386f4b957cd7bu},
    {0x52173a79e8197a92u, 0x6e8f9f2a2ddfd796u}, {0x41ac2ec7ece12edbu, 0x720c7f54f17fdfabu},
    {0x69137e0cae3517c6u, 0x1ce0cbbb1bffcc45u}, {0x540f980a24f74638u, 0x171a3c95afffd69eu},
    {0x433facd4ea5f6b60u, 0x127b63aaf3331218u}, {0x6b991487dd657899u, 0x6a5f05de51eb5026u},
    {0x5614106cb11dfa14u, 0x5518d17ea7ef7352u}, {0x44dcd9f08db194ddu, 0x2a7a41321ff2c2a8u},
    {0x6e2e2980e2b5bafbu, 0x5d906850331e043fu}, {0x5824ee00b55e2f2fu, 0x647386a68f4b3699u},
    {0x4683f19a2ab1bf59u, 0x36c2d21ed908f87bu}, {0x70d31c29dde93228u, 0x579e1cfe280e5a5du},
    {0x5a427cee4b20f4edu, 0x2c7e7d98200b7b7eu}, {0x483530bea280c3f1u, 0x09fecae019a2c932u},
    {0x73884dfdd0ce064eu, 0x43314499c29e0eb6u}, {0x5c6d0b3173d8050bu, 0x4f5a9d47cee4d891u},
    {0x49f0d5c129799da2u, 0x72aee4397250ad41u}, {0x764e22cea8c295d1u, 0x377e39f583b44868u},
    {0x5ea4e8a553cede41u, 0x12cb61913629d387u}, {0x4bb72084430be500u, 0x756f8140f8217605u},
    {0x792500d39e796e67u, 0x6f18cece59cf233cu}, {0x60ea670fb1fabeb9u, 0x3f470bd847d8e8fdu},
    {0x4d885272f4c89894u, 0x329f3cad064720cau}, {0x7c0d50b7ee0dc0edu, 0x37652de1a3a50143u},
    {0x633dda2cbe716724u, 0x2c50f1814fb73436u}, {0x4f64ae8a31f45283u, 0x3d0d8e010c92902bu},
    {0x7f077da9e986ea6bu, 0x7b48e334e0ea8045u}, {0x659f97bb2138bb89u, 0x49071c2a4d88669du},
    {0x514c796280fa2fa1u, 0x20d27ceea46d1ee4u}, {0x4109fab533fb594du, 0x670eca58838a7f1du},
    {0x680ff788532bc216u, 0x0b4add5a6c10cb62u}, {0x533ff939dc2301abu, 0x22a24aaebcda3c4eu},
    {0x4299942e49b59aefu, 0x354ea22563e1c9d8u}, {0x6a8f537d42bc2b18u, 0x554a9d089fcfa95au},
    {0x553f75fdcefcef46u, 0x776ee406e63fbaaeu}, {0x4432c4cb0bfd8c38u, 0x5f8be99f1e996225u},
    {0x6d1e07ab466279f4u, 0x327975cb64289d08u}, {0x574b3955d1e86190u, 0x28612b091ced4a6du},
    {0x45d5c777db204e0du, 0x06b4226db0bdd524u}, {0x6fbc72595e9a167bu, 0x24536a491ac95506u},
    {0x59638eade54811fcu, 0x1d0f883a7bd44405u}, {0x4782d88b1dd34196u, 0x4a72d361fca9d004u},
    {0x726af411c952028au, 0x43eaebcffaa94cd3u}, {0x5b88c3416ddb353bu, 0x4fef230cc88770a9u},
    {0x493a35cdf17c2a96u, 0x0cbf4f3d6d3926eeu}, {0x7529efafe8c6aa89u, 0x61321862485b717cu},
    {0x5dbb262653d22207u, 0x675b46b506af8dfdu}, {0x4afc1e850fdb4e6cu, 0x52af6bc405593e64u},
    {0x77f9ca6e7fc54a47u, 0x377f12d33bc1fd6du}, {0x5ffb085866376e9fu, 0x45ff42429634cabdu},
    {0x4cc8d379eb5f8bb2u, 0x6b329b68782a3bcbu}, {0x7adaebf64565ac51u, 0x2b842bda59dd2c77u},
    {0x6248bcc5045156a7u, 0x3c69bcaeae4a89f9u}, {0x4ea0970403744552u, 0x6387ca25583ba194u},
    {0x7dcdbe6cd253a21eu, 0x05a6103bc05f68edu}, {0x64a498570ea94e7eu, 0x37b80cfc99e5ed8au},
    {0x5083ad1272210b98u, 0x2c933d96e184be08u}, {0x40695741f4e73c79u, 0x7075cadf1ad09807u},
    {0x670ef2032171fa5cu, 0x4d8944982ae759a4u}, {0x52725b35b45b2eb0u, 0x3e076a135585e150u},
    {0x41f515c49048f226u, 0x64d2bb42aad1810du}, {0x698822d41a0e503eu, 0x07b7920444826815u},
    {0x546ce8a9ae71d9cbu, 0x1fc60e69d0685344u}, {0x438a53baf1f4ae3cu, 0x196b3ebb0d20429du},
    {0x6c1085f7e9877d2du, 0x0f11fdf815006a94u}, {0x56739e5fee05fdbdu, 0x58db319344005543u},
    {0x45294b7ff19e6497u, 0x60af5adc3666aa9cu}, {0x6ea878ccb5ca3a8cu, 0x344bc4938a3dddc7u},
    {0x5886c70a2b082ed6u, 0x5d096a0fa1cb17d2u}, {0x46d238d4ef39bf12u, 0x173abb3fb4a27975u},
    {0x71505aee4b8f981du, 0x0b912b992103f588u}, {0x5aa6af25093face4u, 0x0940efadb4032ad3u},
    {0x488558ea6dcc8a50u, 0x07672624900288a9u}, {0x74088e43e2e0dd4cu, 0x723ea36db337410eu},
    {0x5cd3a5031be71770u, 0x5b654f8af5c5cda5u}, {0x4a42ea68e31f45f3u, 0x62b772d5916b0aebu},
    {0x76d1770e38320986u, 0x0458b7bc1bde77ddu}, {0x5f0df8d82cf4d46bu, 0x1d13c630164b9318u},
    {0x4c0b2d79bd90a9efu, 0x30dc9e8cdea2dc13u}, {0x79ab7bf5fc1aa97fu, 0x0160fdae31049351u},
    {0x6155fcc4c9aeedffu, 0x1ab3fe24f403a90eu}, {0x4dde63d0a158be65u, 0x6229981d9002eda5u},
    {0x7c97061a9bc130a2u, 0x69dc2695b337e2a1u}, {0x63ac04e2163426e8u, 0x54b01ede28f9821bu},
    {0x4fbcd0b4de901f20u, 0x43c018b1ba6134e2u}, {0x7f9481216419cb67u, 0x1f99c11c5d68549du},
    {0x6610674de9ae3c52u, 0x4c7b00e37ded107eu}, {0x51a6b90b21583042u, 0x09fc00b5fe574065u},
    {0x41522da2811359ceu, 0x3b3000919845cd1du}, {0x68837c3734ebc2e3u, 0x784ccdb5c06fae95u},
    {0x539c635f5d8968b6u, 0x2d0a3e2b00595877u}, {0x42e382b2b13aba2bu, 0x3da1cb5599e11393u},
    {0x6b059deab52ac378u, 0x629c7888f634ec1eu}, {0x559e17eef755692du, 0x3549fa072b5d89b1u},
    {0x447e798bf91120f1u, 0x1107fb38ef7e07c1u}, {0x6d9728dff4e834b5u, 0x01a65ec17f300c68u},
    {0x57ac20b32a535d5du, 0x4e1eb23465c009edu}, {0x46234d5c21dc4ab1u, 0x24e55b5d1e333b24u},
    {0x70387bc69c93aab5u, 0x216ef894fd1ec506u}, {0x59c6c96bb076222au, 0x4df2607730e56a6cu},
    {0x47d23abc8d2b4e88u, 0x3e5b805f5a5121f0u}, {0x72e9f79415121740u, 0x63c59a322a1b697fu},
    {0x5bee5fa9aa74df67u, 0x03047b5b54e2baccu}, {0x498b7fbaeec3e5ecu, 0x0269fc4910b5623du},
    {0x75abff917e063cacu, 0x6a432d41b45569fbu}, {0x5e2332dacb38308au, 0x21cf5767c37787fcu},
    {0x4b4f5be23c2cf3a1u, 0x67d912b9692c6ccau}, {0x787ef969f9e185cfu, 0x595b5128a8471476u},
    {0x60659454c7e79e3fu, 0x6115da86ed05a9f8u}, {0x4d1e1043d31fb1ccu, 0x4dab1538bd9e2193u},
    {0x7b634d3951cc4fadu, 0x62ab552795c9cf52u}, {0x62b5d7610e3d0c8bu, 0x0222aa86116e3f75u},
    {0x4ef7df80d830d6d5u, 0x4e822204dabe992au}, {0x7e59659af38157bcu, 0x17369cd49130f510u},
    {0x65145148c2cddfc9u, 0x5f5ee3dd40f3f740u}, {0x50dd0dd3cf0b196eu, 0x1918b64a9a5cc5cdu},
    {0x40b0d7dca5a27abeu, 0x4746f83baeb09e3eu}, {0x678159610903f797u, 0x253e59f91780fd2fu},
    {0x52cde11a6d9cc612u, 0x50feae60df9a6426u}, {0x423e4daebe1704dbu, 0x5a65584d7faeb685u},
    {0x69fd4917968b3af9u, 0x10a226e265e4573bu}, {0x54caa0dfaba29594u, 0x0d4e8581eb1d1295u},
    {0x43d54d7fbc821143u, 0x243ed134bc174211u}, {0x6c887bff94034ed2u, 0x06cae85460253682u},
    {0x56d396661002a574u, 0x6bd586a9e6842b9bu}, {0x457611eb40021df7u, 0x09779eee52035616u},
    {0x6f234fdeccd02ff1u, 0x5bf297e3b66bbcefu}, {0x58e90cb23d73598eu, 0x165bacb62b8963f3u},
    {0x4720d6f4fdf5e13eu, 0x451623c4efa11cc2u}, {0x71ce24bb2fefcecau, 0x3b569fa17f682e03u},
    {0x5b0b5095bff30bd5u, 0x15dee61acc535803u}, {0x48d5da11665c0977u, 0x2b18b8157042accfu},
    {0x74895ce8a3c6758bu, 0x5e8df355806aae18u}, {0x5d3ab0ba1c9ec46fu, 0x653e5c4466bbbe7au},
    {0x4a955a2e7d4bd059u, 0x3765169d1efc9861u}, {0x77555d172edfb3c2u, 0x256e8a94fe60f3cfu},
    {0x5f777dac257fc301u, 0x6abed543feb3f63fu}, {0x4c5f97bceacc9c01u, 0x3bcbddcffef65e99u},
    {0x7a328c6177adc668u, 0x5fac961997f0975bu}, {0x61c209e792f16b86u, 0x7fbd44e1465a12afu},
    {0x4e34d4b9425abc6bu, 0x7fca9d810514dbbfu}, {0x7d21545b9d5dfa46u, 0x32ddc8ce6e87c5ffu},
    {0x641aa9e2e44b2e9eu, 0x5be4a0a525396b32u}, {0x501554b5836f587eu, 0x7cb6e6ea842def5cu},
    {0x4011109135f2ad32u, 0x30925255368b25e3u}, {0x6681b41b89844850u, 0x4db6ea21f0dea304u},
    {0x52015ce2d469d373u, 0x57c5881b2718826au}, {0x419ab0b576bb0f8fu, 0x5fd139af527a01efu},
    {0x68f781225791b27fu, 0x4c81f5e550c3364au}, {0x53f9341b79415b99u, 0x239b2b1dda35c508u},
    {0x432dc3492dcde2e1u, 0x02e288e4ae916a6du}, {0x6b7c6ba849496b01u, 0x516a74a1174f10aeu},
    {0x55fd22ed076def34u, 0x4121f6e745d8da25u}, {0x44ca82573924bf5du, 0x1a8192529e4714ebu},
    {0x6e10d08b8ea1322eu, 0x5d9c1d50fd3e87ddu}, {0x580d73a2d880f4f2u, 0x17b01773fdcb9fe4u},
    {0x4671294f139a5d8eu, 0x4626792997d61984u}, {0x70b50ee4ec2a2f4au, 0x3d0a5b75bfbcf59fu},
    {0x5a2a7250bcee8c3bu, 0x4a6eaf916630c47fu}, {0x4821f50d63f209c9u, 0x21f2260deb5a36ccu},
    {0x736988156cb6760eu, 0x69837016455d247au}, {0x5c546cddf091f80bu, 0x6e02c011d1175062u},
    {0x49dd23e4c074c66fu, 0x719bccdb0dac404eu}, {0x762e9fd467213d7fu, 0x68f947c4e2ad33b0u},
    {0x5e8bb3105280fdffu, 0x6d94396a4ef0f627u}, {0x4ba2f5a6a8673199u, 0x3e102deea58d91b9u},
    {0x7904bc3dda3eb5c2u, 0x3019e3176f48e927u}, {0x60d09697e1cbc49bu, 0x4014b5ac590720ecu},
    {0x4d73abacb4a303afu, 0x4cdd5e237a6c1a57u}, {0x7bec45e12104d2b2u, 0x47c8969f2a46908au},
    {0x63236b1a80d0a88eu, 0x6ca0787f5505406fu}, {0x4f4f88e200a6ed3fu, 0x0a19f9ff773766bfu},
    {0x7ee5a7d0010b1531u, 0x5cf65ccbf1f23dfeu}, {0x6584864000d5aa8eu, 0x172b7d6ff4c1cb32u},
    {0x5136d1cccd77bba4u, 0x78ef978cc3ce3c28u}, {0x40f8a7d70ac62fb7u, 0x13f2dfa3cfd83020u},
    {0x67f43fbe77a37f8bu, 0x398499061959e699u}, {0x5329cc985fb5ffa2u, 0x6136e0d1ade18548u},
    {0x4287d6e04c91994fu, 0x00f8b3daf181376du}, {0x6a72f166e0e8f54bu, 0x1b27862b1c01f247u},
    {0x5528c11f1a53f76fu, 0x2f52d1bc1667f506u}, {0x44209a7f48432c59u, 0x0c424163451ff738u},
    {0x6d00f7320d3846f4u, 0x7a039bd208332526u}, {0x5733f8f4d76038c3u, 0x7b361641a028ea85u},
    {0x45c32d90ac4cfa36u, 0x2f5e78348020bb9eu}, {0x6f9eaf4de07b29f0u, 0x4bca59ed99cdf8fcu},
    {0x594bbf71806287f3u, 0x563b7b247b0b2d96u}, {0x476fcc5acd1b9ff6u, 0x11c92f50626f57acu},
    {0x724c7a2ae1c5ccbdu, 0x02db7ee703e55912u}, {0x5b7061bbe7d17097u, 0x1be2cbec031de0dcu},
    {0x4926b496530df3acu, 0x164f09899c17e716u}, {0x750aba8a1e7cb913u, 0x3d4b4275c68ca4f0u},
    {0x5da22ed4e530940fu, 0x4aa29b916ba3b726u}, {0x4ae825771dc07672u, 0x6ee87c74561c9285u},
    {0x77d9d58b62cd8a51u, 0x3173fa53bcfa8408u}, {0x5fe177a2b5713b74u, 0x278ffb7630c869a0u},
    {0x4cb45fb55df42f90u, 0x1fa662c4f3d387b3u}, {0x7aba32bbc986b280u, 0x32a3d13b1fb8d91fu},
    {0x622e8efca1388ecdu, 0x0ee9742f4c93e0e6u}, {0x4e8ba596e760723du, 0x58bac3590a0fe71eu},
    {0x7dac3c24a5671d2fu, 0x412ad228101971c9u}, {0x6489c9b6eab8e426u, 0x00ef0e8673478e3bu},
    {0x506e3af8bbc71cebu, 0x1a58d86b8f6c71c9u}, {0x40582f2d6305b0bcu, 0x1513e0560c56c16eu},
    {0x66f37eaf04d5e793u, 0x3b530089ad579be2u}, {0x525c6558d0ab1fa9u, 0x15dc006e2446164fu},
    {0x41e384470d55b2edu, 0x5e4999f1b69e783fu}, {0x696c06d81555eb15u, 0x7d428fe92430c065u},
    {0x54566be0111188deu, 0x31020cba835a3384u}, {0x4378564cda746d7eu, 0x5a680a2ecf7b5c69u},
    {0x6bf3bd47c3ed7bfdu, 0x770cdd17b25efa42u}, {0x565c976c9cbdfccbu, 0x1270b0dfc1e59502u},
    {0x4516df8a16fe63d5u, 0x5b8d5a4c9b1e10ceu}, {0x6e8aff4357fd6c89u, 0x127bc3adc4fce7b0u},
    {0x586f329c466456d4u, 0x0ec96957d0ca52f3u}, {0x46bf5bb038504576u, 0x3f07877973d50f29u},
    {0x71322c4d26e6d58au, 0x31a5a58f1fbb4b75u}, {0x5a8e89d75252446eu, 0x5aeaead8e62f6f91u},
    {0x487207df750e9d25u, 0x2f22557a51bf8c74u}, {0x73e9a63254e42ea2u, 0x1836ef2a1c65ad86u},
    {0x5cbaeb5b771cf21bu, 0x2cf8bf54e3848ad2u}, {0x4a2f22af927d8e7cu, 0x23fa32aa4f9d3bdbu},
    {0x76b1d118ea627d93u, 0x5329eaaa18fb92f8u}, {0x5ef4a74721e86476u, 0x0f54bbbb472fa8c6u},
    {0x4bf6ec38e7ed1d2bu, 0x25dd62fc38f2ed6cu}, {0x798b138e3fe1c845u, 0x22fbd1938e517bdfu},
    {0x613c0fa4ffe7d36au, 0x4f2fdadc71dac97fu}, {0x4dc9a61d998642bbu, 0x58f3157d27e23accu},
    {0x7c75d695c2706ac5u, 0x74b82261d969f7adu}, {0x63917877cec0556bu, 0x10934eb4adee5fbeu},
    {0x4fa793930bcd1122u, 0x4075d8908b251965u}, {0x7f7285b812e1b504u, 0x00bc8db411d4f56eu},
    {0x65f537c675815d9cu, 0x66fd3e29a7dd9125u}, {0x5190f96b91344ae3u, 0x6bfdcb54864ada84u},
    {0x4140c78940f6a24fu, 0x6ffe3c439ea2486au}, {0x6867a5a867f103b2u, 0x7ffd2d38fdd073dcu},
    {0x53861e2053273628u, 0x6664242d97d9f64au}, {0x42d1b1b375b8f820u, 0x51e9b68adfe191d5u},
    {0x6ae91c5255f4c034u, 0x1ca924116635b621u}, {0x558749db77f70029u, 0x63ba83411e915e81u},
    {0x446c3b15f9926687u, 0x6962029a7edab201u}, {0x6d79f82328ea3da6u, 0x0f03375d97c45001u},
    {0x5794c6828721caebu, 0x259c2c4adfd04001u}, {0x46109eced2816f22u, 0x5149bd08b30d0001u},
    {0x701a97b150cf1837u, 0x3542c80deb480001u}, {0x59aedfc10d7279c5u, 0x7768a00b22a00001u},
    {0x47bf19673df52e37u, 0x79208008e8800001u}, {0x72cb5bd86321e38cu, 0x5b67334174000001u},
    {0x5bd5e313828182d6u, 0x7c528f6790000001u}, {0x4977e8dc68679bdfu, 0x16a872b940000001u},
    {0x758ca7c70d7292feu, 0x5773eac200000001u}, {0x5e0a1fd271287598u, 0x45f6556800000001u},
    {0x4b3b4ca85a86c47au, 0x04c5112000000001u}, {0x785ee10d5da46d90u, 0x07a1b50000000001u},
    {0x604be73de4838ad9u, 0x52e7c40000000001u}, {0x4d0985cb1d3608aeu, 0x0f1fd00000000001u},
    {0x7b426fab61f00de3u, 0x31cc800000000001u}, {0x629b8c891b267182u, 0x5b0a000000000001u},
    {0x4ee2d6d415b85aceu, 0x7c08000000000001u}, {0x7e37be2022c0914bu, 0x1340000000000001u},
    {0x64f964e68233a76fu, 0x2900000000000001u}, {0x50c783eb9b5c85f2u, 0x5400000000000001u},
    {0x409f9cbc7c4a04c2u, 0x1000000000000001u}, {0x6765c793fa10079du, 0x0000000000000001u},
    {0x52b7d2dcc80cd2e4u, 0x0000000000000001u}, {0x422ca8b0a00a4250u, 0x0000000000000001u},
    {0x69e10de76676d080u, 0x0000000000000001u}, {0x54b40b1f852bda00u, 0x0000000000000001u},
    {0x43c33c1937564800u, 0x0000000000000001u}, {0x6c6b935b8bbd4000u, 0x0000000000000001u},
    {0x56bc75e2d6310000u, 0x0000000000000001u}, {0x4563918244f40000u, 0x0000000000000001u},
    {0x6f05b59d3b200000u, 0x0000000000000001u}, {0x58d15e1762800000u, 0x0000000000000001u},
    {0x470de4df82000000u, 0x0000000000000001u}, {0x71afd498d0000000u, 0x0000000000000001u},
    {0x5af3107a40000000u, 0x0000000000000001u}, {0x48c2739500000000u, 0x0000000000000001u},
    {0x746a528800000000u, 0x0000000000000001u}, {0x5d21dba000000000u, 0x0000000000000001u},
    {0x4a817c8000000000u, 0x0000000000000001u}, {0x7735940000000000u, 0x0000000000000001u},
    {0x5f5e100000000000u, 0x0000000000000001u}, {0x4c4b400000000000u, 0x0000000000000001u},
    {0x7a12000000000000u, 0x0000000000000001u}, {0x61a8000000000000u, 0x0000000000000001u},
    {0x4e20000000000000u, 0x0000000000000001u}, {0x7d00000000000000u, 0x0000000000000001u},
    {0x6400000000000000u, 0x0000000000000001u}, {0x5000000000000000u, 0x0000000000000001u},
    {0x4000000000000000u, 0x0000000000000001u}, {0x6666666666666666u, 0x3333333333333334u},
    {0x51eb851eb851eb85u, 0x0f5c28f5c28f5c29u}, {0x4189374bc6a7ef9du, 0x5916872b020c49bbu},
    {0x68db8bac710cb295u, 0x74f0d844d013a92bu}, {0x53e2d6238da3c211u, 0x43f3e0370cdc8755u},
    {0x431bde82d7b634dau, 0x698fe69270b06c44u}, {0x6b5fca6af2bd215eu, 0x0f4ca41d811a46d4u},
    {0x55e63b88c230e77eu, 0x3f70834acdae9f10u}, {0x44b82fa09b5a52cbu, 0x4c5a02a23e254c0du},
    {0x6df37f675ef6eadfu, 0x2d5cd10396a21347u}, {0x57f5ff85e592557fu, 0x3de3da69454e75d3u},
    {0x465e6604b7a84465u, 0x7e4fe1edd10b9175u}, {0x709709a125da0709u, 0x4a19697c81ac1befu},
    {0x5a126e1a84ae6c07u, 0x54e1213067bce326u}, {0x480ebe7b9d58566cu, 0x43e74dc052fd8285u},
    {0x734aca5f6226f0adu, 0x530baf9a1e626a6du}, {0x5c3bd5191b525a24u, 0x426fbfae7eb521f1u},
    {0x49c97747490eae83u, 0x4ebfcc8b9890e7f4u}, {0x760f253edb4ab0d2u, 0x4acc7a78f41b0cbau},
    {0x5e72843249088d75u, 0x223d2ec729af3d62u}, {0x4b8ed0283a6d3df7u, 0x34fdbf05baf29781u},
    {0x78e480405d7b9658u, 0x54c931a2c4b758cfu}, {0x60b6cd004ac94513u, 0x5d6dc14f03c5e0a5u},
    {0x4d5f0a66a23a9da9u, 0x31249aa59c9e4d51u}, {0x7bcb43d769f762a8u, 0x4ea0f76f60fd4882u},
    {0x63090312bb2c4eedu, 0x254d92bf80caa068u}, {0x4f3a68dbc8f03f24u, 0x1dd7a89933d54d20u},
    {0x7ec3daf941806506u, 0x62f2a75b86221500u}, {0x65697bfa9acd1d9fu, 0x025bb91604e810cdu},
    {0x51212ffbaf0a7e18u, 0x684960de6a5340a4u}, {0x40e7599625a1fe7au, 0x203ab3e521dc33b6u},
    {0x67d88f56a29cca5du, 0x19f7863b696052bdu}, {0x5313a5dee87d6eb0u, 0x7b2c6b62bab37564u},
    {0x42761e4bed31255au, 0x2f56bc4efbc2c450u}, {0x6a5696dfe1e83bc3u, 0x655793b192d13a1au},
    {0x5512124cb4b9c969u, 0x377942f475742e7bu}, {0x440e750a2a2e3abau, 0x5f9435905df68b96u},
    {0x6ce3ee76a9e3912au, 0x65b9ef4d63241289u}, {0x571cbec554b60dbbu, 0x6afb25d782834207u},
    {0x45b0989ddd5e7163u, 0x08c8eb12cecf6806u}, {0x6f80f42fc8971bd1u, 0x5adb11b7b14bd9a3u},
    {0x5933f68ca078e30eu, 0x157c0e2c8dd647b5u}, {0x475cc53d4d2d8271u, 0x5dfcd823a4ab6c91u},
    {0x722e086215159d82u, 0x632e269f6ddf141bu}, {0x5b5806b4ddaae468u, 0x4f581ee5f17f4349u},
    {0x49133890b1558386u, 0x72ace584c1329c3bu}, {0x74eb8db44eef38d7u, 0x6aae3c079b842d2au},
    {0x5d893e29d8bf60acu, 0x5558300616035755u}, {0x4ad431bb13cc4d56u, 0x7779c004de6912abu},
    {0x77b9e92b52e07bbeu, 0x258f99a163db5111u}, {0x5fc7edbc424d2fcbu, 0x37a614811caf740du},
    {0x4c9ff163683dbfd5u, 0x7951aa00e3bf900bu}, {0x7a998238a6c932efu, 0x754f7667d2cc19abu},
    {0x6214682d523a8f26u, 0x2aa5f8530f09ae22u}, {0x4e76b9bddb620c1eu, 0x55519375a5a1581bu},
    {0x7d8ac2c95f034697u, 0x3bb5b8bc3c3559c5u}, {0x646f023ab2690545u, 0x7c9160969691149eu},
    {0x5058ce955b87376bu, 0x16dab3ababa743b2u}, {0x40470baaaf9f5f88u, 0x78aef622efb902f5u},
    {0x66d812aab29898dbu, 0x0de4bd04b2c19e54u}, {0x524675555bad4715u, 0x57ea30d08f014b76u},
    {0x41d1f7777c8a9f44u, 0x4654f3da0c01092cu}, {0x694ff258c7443207u, 0x23bb1fc346680eacu},
    {0x543ff513d29cf4d2u, 0x4fc8e635d1ecd88au}, {0x43665da9754a5d75u, 0x263a51c4a7f0ad3bu},
    {0x6bd6fc425543c8bbu, 0x56c3b607731aaec4u}, {0x5645969b77696d62u, 0x789c919f8f488bd0u},
    {0x4504787c5f878ab5u, 0x46e3a7b2d906d640u}, {0x6e6d8d93cc0c1122u, 0x3e390c515b3e239au},
    {0x5857a4763cd6741bu, 0x4b60d6a77c31b615u}, {0x46ac8391ca4529afu, 0x55e7121f968e2b44u},
    {0x711405b6106ea919u, 0x0971b698f0e3786du}, {0x5a766af80d255414u, 0x078e2bad8d82c6bdu},
    {0x485ebbf9a41ddcdcu, 0x6c71bc8ad79bd231u}, {0x73cac65c39c96161u, 0x2d82c7448c2c8382u},
    {0x5ca23849c7d44de7u, 0x3e023903a356cf9bu}, {0x4a1b603b06437185u, 0x7e682d9c82abd949u},
    {0x76923391a39f1c09u, 0x4a4048fa6aac8edbu}, {0x5edb5c7482e5b007u, 0x55003a61eef07249u},
    {0x4be2b05d35848cd2u, 0x773361e7f259f507u}, {0x796ab3c855a0e151u, 0x3eb89ca6508fee71u},
    {0x6122296d114d810du, 0x7efa16eb73a6585bu}, {0x4db4edf0daa4673eu, 0x3261abef8fb846afu},
    {0x7c54afe7c43a3ecau, 0x1d691318e5f3a44bu}, {0x6376f31fd02e98a1u, 0x64540f471e5c836fu},
    {0x4f925c1973587a1bu, 0x0376729f4b7d35f3u}, {0x7f50935bebc0c35eu, 0x38bd84321261efebu},
    {0x65da0f7cbc9a35e5u, 0x13cad0280eb4bfefu}, {0x517b3f96fd482b1du, 0x5ca240200bc3ccbfu},
    {0x412f66126439bc17u, 0x63b50019a3030a33u}, {0x684bd683d38f9359u, 0x1f88002904d1a9eau},
    {0x536fdecfdc72dc47u, 0x32d3335403daee55u}, {0x42bfe57316c249d2u, 0x5bdc291003158b77u},
    {0x6acca251be03a951u, 0x12f9db4cd1bc1258u}, {0x557081dafe695440u, 0x7594af70a7c9a847u},
    {0x445a017bfebaa9cdu, 0x4476f2c0863aed06u}, {0x6d5ccf2ccac442e2u, 0x3a57eacda3917b3cu},
    {0x577d728a3bd03581u, 0x7b7988a482dac8fdu}, {0x45fdf53b630cf79bu, 0x15fad3b6cf156d97u},
    {0x6ffcbb923814bf5eu, 0x565e1f8ae4ef15beu}, {0x5996fc74f9aa32b2u, 0x11e4e608b725aaffu},
    {0x47abfd2a6154f55bu, 0x27ea51a0928488ccu}, {0x72acc843ceee555eu, 0x7310829a84074146u},
    {0x5bbd6d030bf1dde5u, 0x42739baed005cdd2u}, {0x49645735a327e4b7u, 0x4ec2e2f24004a4a8u},
    {0x756d5855d1d96df2u, 0x4ad16b1d333aa10cu}, {0x5df11377db1457f5u, 0x2241227dc2954da3u},
    {0x4b2742c648dd132au, 0x4e9a81fe35443e1cu}, {0x783ed13d4161b844u, 0x175d9cc9eed39694u},
    {0x603240fdcde7c69cu, 0x7917b0a18bdc7876u}, {0x4cf500cb0b1fd217u, 0x1412f3b46fe39392u},
    {0x7b219ade7832e9beu, 0x535185ed7fd285b6u}, {0x628148b1f9c25498u, 0x42a79e57997537c5u},
    {0x4ecdd3c1949b76e0u, 0x3552e512e12a9304u}, {0x7e161f9c20f8be33u, 0x6eeb081e3510eb39u},
    {0x64de7fb01a609829u, 0x3f226ce4f740bc2eu}, {0x50b1ffc0151a1354u, 0x3281f0b72c33c9beu},
    {0x408e66334414dc43u, 0x42018d5f568fd498u}, {0x674a3d1ed354939fu, 0x1ccf48988a7fba8du},
    {0x52a1ca7f0f76dc7fu, 0x30a5d3ad3b99620bu}, {0x421b0865a5f8b065u, 0x73b7dc8a96144e6fu},
    {0x69c4da3c3cc11a3cu, 0x52bfc7442353b0b1u}, {0x549d7b6363cdae96u, 0x756639034f7626f4u},
    {0x43b12f82b63e2545u, 0x4451c735d92b525du}, {0x6c4eb26abd303ba2u, 0x3a1c71efc1deea2eu},
    {0x56a55b889759c94eu, 0x61b05b2634b254f2u}, {0x45511606df7b0772u, 0x1af37c1e908eaa5bu},
    {0x6ee8233e325e7250u, 0x2b1f2cfdb41776f8u}, {0x58b9b5cb5b7ec1d9u, 0x6f4c23fe29ac5f2du},
    {0x46faf7d5e2cbce47u, 0x72a34ffe87bd18f1u}, {0x71918c896adfb073u, 0x04387ffda5fb5b1bu},
    {0x5adad6d4557fc05cu, 0x0360666484c915afu}, {0x48af1243779966b0u, 0x02b3851d3707448cu},
    {0x744b506bf28f0ab3u, 0x1dec082ebe720746u}, {0x5d090d2328726ef5u, 0x64bcd358985b3905u},
    {0x4a6da41c205b8bf7u, 0x6a30a913ad15c738u}, {0x7715d36033c5acbfu, 0x5d1aa81f7b560b8cu},
    {0x5f44a919c3048a32u, 0x7daeece5fc44d609u}, {0x4c36edae359d3b5bu, 0x7e258a51969d7808u},
    {0x79f17c49ef61f893u, 0x16a276e8f0fbf33fu}, {0x618dfd07f2b4c6dcu, 0x121b9253f3fcc299u},
    {0x4e0b30d328909f16u, 0x41afa84329970214u}, {0x7cdeb4850db431bdu, 0x4f7f739ea8f19cedu},
    {0x63e55d373e29c164u, 0x3f99294bba5ae3f1u}, {0x4feab0f8fe87cde9u, 0x7fadbaa2fb7be98du},
    {0x7fdde7f4ca72e30fu, 0x7f7c5dd1925fdc15u}, {0x664b1ff7085be8d9u, 0x4c637e4141e649abu},
    {0x51d5b32c06afed7au, 0x704f983434b83aefu}, {0x4177c2899ef32462u, 0x26a6135cf6f9c8bfu},
    {0x68bf9da8fe51d3d0u, 0x3dd685618b294132u}, {0x53cc7e20cb74a973u, 0x4b12044e08edcdc2u},
    {0x4309fe80a2c3bac2u, 0x6f419d0b3a57d7ceu}, {0x6b4330cdd1392ad1u, 0x320294dec3bfbfb0u},
    {0x55cf5a3e40fa88a7u, 0x419baa4bcfcc995au}, {0x44a5e1cb672ed3b9u, 0x1ae2eea30ca3ade1u},
    {0x6dd636123eb152c1u, 0x77d17dd1add2afcfu}, {0x57de91a832277567u, 0x797464a7be42263fu},
    {0x464ba7b9c1b92ab9u, 0x4790508631ce84ffu}, {0x70790c5c6928445cu, 0x0c1a1a704fb0d4ccu},
    {0x59fa7049edb9d049u, 0x567b4859d95a43d6u}, {0x47fb8d07f161736eu, 0x11fc39e17aae9cabu},
    {0x732c14d98235857du, 0x032d2968c44a9445u}, {0x5c2343e134f79dfdu, 0x4f575453d03ba9d1u},
    {0x49b5cfe75d92e4cau, 0x72ac4376402fbb0eu}, {0x75efb30bc8eb07abu, 0x0446d256cd192b49u},
    {0x5e595c096d88d2efu, 0x1d0575123dadbc3au}, {0x4b7ab0078ad3dbf2u, 0x4a6ac40e97be302fu},
    {0x78c44cd8de1fc650u, 0x771139b0f2c9e6b1u}, {0x609d0a4718196b73u, 0x78da948d8f07ebc1u},
    {0x4d4a6e9f467abc5cu, 0x60aedd3e0c065634u}, {0x7baa4a9870c46094u, 0x344afb9679a3bd20u},
    {0x62eea2138d69e6ddu, 0x103bfc78614fca80u}, {0x4f254e760abb1f17u, 0x26966393810ca200u},
    {0x7ea21723445e9825u, 0x2423d2859b476999u}, {0x654e78e9037ee01du, 0x69b642047c392148u},
    {0x510b93ed9c658017u, 0x6e2b680396941aa0u}, {0x40d60ff149eaccdfu, 0x71bc53361210154du},
    {0x67bce64edcaae166u, 0x1c6085235019bbaeu}, {0x52fd850be3bbe784u, 0x7d1a041c40149625u},
    {0x42646a6fe9631f9du, 0x4a7b367d0010781du}, {0x6a3a43e642383295u, 0x5d91f0c8001a59c8u},
    {0x54fb698501c68edeu, 0x17a7f3d3334847d4u}, {0x43fc546a67d20be4u, 0x79532975c2a03976u},
    {0x6cc6ed770c83463bu, 0x0eeb75893766c256u}, {0x57058ac5a39c382fu, 0x25892ad42c523512u},
    {0x459e089e1c7cf9bfu, 0x37a0ef102374f742u}, {0x6f6340fcfa618f98u, 0x59017e8038bb2536u},
    {0x591c33fd951ad946u, 0x7a67986693c8ea91u}, {0x4749c33144157a9fu, 0x151fad1edca0bba8u},
    {0x720f9eb539bbf765u, 0x0832ae97c76792a5u}, {0x5b3fb22a94965f84u, 0x068ef21305ec7551u},
    {0x48ffc1bbaa11e603u, 0x1ed8c1a8d189f774u}, {0x74cc692c434fd66bu, 0x4af4690e1c0ff253u},
    {0x5d705423690cab89u, 0x225d20d816732843u}, {0x4ac0434f873d5607u, 0x35174d79ab8f5369u},
    {0x779a054c0b955672u, 0x21bee25c45b21f0eu}, {0x5fae6aa33c77785bu, 0x3498b5169e2818d8u},
    {0x4c8b888296c5f9e2u, 0x5d46f7454b534713u}, {0x7a78da6a8ad65c9du, 0x7ba4bed545520b52u},
    {0x61fa48553bdeb07eu, 0x2fb6ff110441a2a8u}, {0x4e61d37763188d31u, 0x72f8cc0d9d014eedu},
    {0x7d6952589e8daeb6u, 0x1e5ae015c80217e1u}, {0x645441e07ed7bef8u, 0x1848b344a001acb4u},
    {0x504367e6cbdfcbf9u, 0x603a2903b3348a2au}, {0x4035ecb8a3196ffbu, 0x002e873628f6d4eeu},
    {0x66bcadf43828b32bu, 0x19e40b89db2487e3u}, {0x52308b29c686f5bcu, 0x14b66fa17c1d3983u},
    {0x41c06f549ed25e30u, 0x1091f2e7967dc79cu}, {0x6933e554315096b3u, 0x341cb7d8f0c93f5fu},
    {0x542984435aa6def5u, 0x767d5fe0c0a0ff80u}, {0x435469cf7bb8b25eu, 0x2b977fe70080cc66u},
    {0x6bba42e592c11d63u, 0x5f58cca4cd9ae0a3u}, {0x562e9beadbcdb11cu, 0x4c470a1d7148b3b6u},
    {0x44f216557ca48db0u, 0x3d05a1b1276d5c92u}, {0x6e5023bbfaa0e2b3u, 0x7b3c35e83f1560e9u},
    {0x58401c96621a4ef6u, 0x2f635e5365aab3edu}, {0x4699b0784e7b725eu, 0x591c4b75eaeef658u},
    {0x70f5e726e3f8b6fdu, 0x74fa125644b18a26u}, {0x5a5e5285832d5f31u, 0x43fb41de9d5ad4ebu},
    {0x484b75379c244c27u, 0x4ffc34b2177bdd89u}, {0x73abeebf603a1372u, 0x4cc6bab68bf96274u},
    {0x5c898bcc4cfb42c2u, 0x0a38955ed6611b90u}, {0x4a07a309d72f689bu, 0x21c6dde5784dafa7u},
    {0x76729e762518a75eu, 0x693e2fd58d49190bu}, {0x5ec2185e8413b918u, 0x5431bfde0aa0e0d5u},
    {0x4bce79e536762dadu, 0x29c1664b3bb3e711u}, {0x794a5ca1f0bd15e2u, 0x0f9bd6dec5eca4e8u},
    {0x61084a1b26fdab1bu, 0x2616457f04bd50bau}, {0x4da03b48ebfe227cu, 0x1e783798d09773c8u},
    {0x7c33920e46636a60u, 0x30c058f480f252d9u}, {0x635c74d8384f884du, 0x0d66ad9067284247u},
    {0x4f7d2a469372d370u, 0x711ef14052869b6cu}, {0x7f2eaa0a85848581u, 0x34fe4ecd50d75f14u},
    {0x65beee6ed136d134u, 0x2a650bd773df7f43u}, {0x51658b8bda9240f6u, 0x551da312c319329cu},
    {0x411e093caedb672bu, 0x5db14f4235adc217u}, {0x68300ec77e2bd845u, 0x7c4ee536bc49368au},
    {0x5359a56c64efe037u, 0x7d0bea92303a9208u}, {0x42ae1df050bfe693u, 0x173cbba8269541a0u},
    {0x6ab02fe6e79970ebu, 0x3ec792a6a422029au}, {0x5559bfebec7ac0bcu, 0x3239421ee9b4cee1u},
    {0x4447ccbcbd2f0096u, 0x5b6101b25490a581u}, {0x6d3fadfac84b3424u, 0x2bce691d541aa268u},
    {0x576624c8a03c29b6u, 0x563eba7ddce21b87u}, {0x45eb50a08030215eu, 0x78322ecb171b4939u},
    {0x6fdee76733803564u, 0x59e9e47824f87527u}, {0x597f1f85c2ccf783u, 0x6187e9f9b72d2a86u},
    {0x4798e6049bd72c69u, 0x346cbb2e2c242205u}, {0x728e3cd42c8b7a42u, 0x20adf849e039d007u},
    {0x5ba4fd768a092e9bu, 0x33be603b19c7d99fu}, {0x4950cac53b3a8bafu, 0x42feb3627b0647b3u},
    {0x754e113b91f745e5u, 0x5197856a5e7072b8u}, {0x5dd80dc941929e51u, 0x27ac6abb7ec05bc6u},
    {0x4b133e3a9adbb1dau, 0x52f05562cbcd1638u}, {0x781ec9f75e2c4fc4u, 0x1e4d556adfae89f3u},
    {0x6018a192b1bd0c9cu, 0x7ea444557fbed4c3u}, {0x4ce0814227ca707du, 0x4bb69d1132ff109cu},
    {0x7b00ced03faa4d95u, 0x5f8a94e851981a93u}, {0x62670bd9cc883e11u, 0x32d543ed0e134875u},
    {0x4eb8d647d6d364dau, 0x5bddcff0d80f6d2bu}, {0x7df48a0c8aebd491u, 0x12fc7fe7c018aeabu},
    {0x64c3a1a3a25643a7u, 0x28c9ffec99ad5889u}, {0x509c814fb511cfb9u, 0x0707fff07af113a1u},
    {0x407d343fc40e3fc7u, 0x1f39998d2f2742e7u}, {0x672eb9ffa016cc71u, 0x7ec28f484b7204a4u},
    {0x528bc7ffb345705bu, 0x189ba5d36f8e6a1du}, {0x42096ccc8f6ac048u, 0x7a161e42bfa521b1u},
    {0x69a8ae1418aacd41u, 0x435696d132a1cf81u}, {0x5486f1a9ad557101u, 0x1c454574288172ceu},
    {0x439f27baf1112734u, 0x169dd129ba0128a5u}, {0x6c31d92b1b4ea520u, 0x242fb50f9001daa1u},
    {0x568e4755af721db3u, 0x368c90d940017bb4u}, {0x453e9f77bf8e7e29u, 0x120a0d7a999ac95du},
    {0x6eca98bf98e3fd0eu, 0x50101590f5c47561u}, {0x58a213cc7a4ffda5u, 0x26734473f7d05de8u},
    {0x46e80fd6c83ffe1du, 0x6b8f69f65fd9e4b9u}, {0x71734c8ad9fffcfcu, 0x45b24323cc8fd45cu},
    {0x5ac2a3a247fffd96u, 0x6af502830a0ca9e3u}, {0x489bb61b6ccccadfu, 0x08c402026e7087e9u},
    {0x742c569247ae1164u, 0x746cd003e3e73fdbu}, {0x5cf04541d2f1a783u, 0x76bd73364fec3315u},
    {0x4a59d101758e1f9cu, 0x5efdf5c50cbcf5abu}, {0x76f61b3588e365c7u, 0x4b2fefa1adfb22abu},
    {0x5f2b48f7a0b5eb06u, 0x08f3261af195b555u}, {0x4c22a0c61a2b226bu, 0x20c284e25ade2aabu},
    {0x79d1013cf6ab6a45u, 0x1ad0d49d5e304444u}, {0x617400fd9222bb6au, 0x48a7107de4f369d0u},
    {0x4df6673141b562bbu, 0x53b8d9fe50c2bb0du}, {0x7cbd71e869223792u, 0x52c15cca1ad12b48u},
    {0x63cac186ba81c60eu, 0x75677d6e7bda8906u}, {0x4fd5679efb9b04d8u, 0x5dec645863153a6cu},
    {0x7fbbd8fe5f5e6e27u, 0x497a3a2704eec3dfu},
};

// g * cp / 2^127 rounded to odd: the integer part, with its lowest bit set
// when a fraction remains. The fraction is taken to 63 bits only; the error
// of g lies below them, so an exact integer quotient is recognised as one.
inline std::uint64_t round_to_odd(const Scale& g, std::uint64_t cp) noexcept {
  constexpr std::uint64_t low_63 = (std::uint64_t{1} << 63) - 1;
  const auto x1 = static_cast<std::uint64_t>((static_cast<uint128>(g.low) * cp) >> 64);
  const uint128 y = static_cast<uint128>(g.high) * cp;
  const std::uint64_t z = (static_cast<std::uint64_t>(y) >> 1) + x1;
  const std::uint64_t integer = static_cast<std::uint64_t>(y >> 64) + (z >> 63);
  return integer | (((z & low_63) + low_63) >> 63);
}

struct Decimal {
  std::uint64_t significand;  // below 10^17
  int exponent;
};

// The decimal for c * 2^q: shortest, then nearest, then even.
Decimal shortest_decimal(int q, std::uint64_t c) noexcept {
  // An even significand reads back from the ends of its interval too.
  const std::uint64_t out = c & 1;
  const std::uint64_t cb = c << 2;
  const std::uint64_t cbr = cb + 2;
  std::uint64_t cbl;
  int k;
  if (c != hidden_bit || q == min_exponent_of_two) {
    cbl = cb - 2;
    k = floor_log10_pow2(q);
  } else {
    // At a power of two the gap below is half the gap above.
    cbl = cb - 1;
    k = floor_log10_three_quarters_pow2(q);
  }
  const int h = q + floor_log2_pow10(-k) + 2;
  const Scale& g = scales[k - min_decimal_exponent];
  const std::uint64_t vb = round_to_odd(g, cb << h);
  const std::uint64_t vbl = round_to_odd(g, cbl << h);
  const std::uint64_t vbr = round_to_odd(g, cbr << h);

  // The interval is narrower than ten units, so it holds at most one multiple
  // of ten: a decimal one digit shorter than s, and the shortest if inside.
  // (For tiny subnormals s may be below 10; 0 is never inside.)
  const std::uint64_t s = vb >> 2;
  const std::uint64_t sp10 = s / 10 * 10;
  const std::uint64_t tp10 = sp10 + 10;
  const bool upin = vbl + out <= sp10 << 2;
  const bool wpin = (tp10 << 2) + out <= vbr;
  if (upin != wpin) return {upin ? sp10 : tp10, k};
  const std::uint64_t t = s + 1;
  const bool uin = vbl + out <= s << 2;
  const bool win = (t << 2) + out <= vbr;
  if (uin != win) return {uin ? s : t, k};
  // Both or neither inside: the nearer one, the even one on an exact tie.
  const std::uint64_t middle = (s + t) << 1;
  const bool take_s = vb < middle || (vb == middle && (s & 1) == 0);
  return {take_s ? s : t, k};
}

// `bits` is a finite, nonzero double without its sign.
Decimal to_decimal(std::uint64_t bits) noexcept {
  const auto biased_exponent = static_cast<int>(bits >> 52);
  const std::uint64_t fraction = bits & (hidden_bit - 1);
  if (biased_exponent == 0) {
    return shortest_decimal(min_exponent_of_two, fraction);
  }
  const std::uint64_t c = fraction | hidden_bit;
  const int shift = 1075 - biased_exponent;
  // Integers below 2^53 are their own shortest digits: the gap between
  // doubles there is at most 1, so no other integer reads back as them.
  if (shift > 0 && shift < 53) {
    const std::uint64_t integer = c >> shift;
    if (integer << shift == c) return {integer, 0};
  }
  return shortest_decimal(-shift, c);
}

// Lays out `significand` * 10^`exponent` after the sign, starting at `at`;
// returns the length written. At most 23 bytes.
std::size_t lay_out(char* at, Decimal decimal) noexcept {
  // Normalise to exactly 17 digits; the trailing zeros this adds are the
  // zeros the positional form needs before ".0".
  const int bit_length = 64 - std::countl_zero(decimal.significand);
  int length = floor_log10_pow2(bit_length);
  if (decimal.significand >= powers_of_ten[static_cast<std::size_t>(length)]) ++length;
  const std::uint64_t digits =
      decimal.significand * powers_of_ten[static_cast<std::size_t>(17 - length)];
  const int e = decimal.exponent + length - 1;  // d1.d2...dn * 10^e

  char* first;
  if (e < 0 && e >= -5) {
    std::memcpy(at, "0.00000", 7);
    first = at + 1 - e;
  } else {
    first = at + 1;
  }
  const std::uint64_t upper = digits / 100000000;
  first[0] = static_cast<char>('0' + upper / 100000000);
  put_eight_digits(first + 1, static_cast<std::uint32_t>(upper % 100000000));
  put_eight_digits(first + 9, static_cast<std::uint32_t>(digits % 100000000));
  int n = 17;
  while (first[n - 1] == '0') --n;

  if (e < 0 && e >= -5) return static_cast<std::size_t>(first - at + n);
  if (e >= 0 && e <= 15) {
    const auto integer_digits = static_cast<std::size_t>(e + 1);
    std::memmove(at, at + 1, integer_digits);
    at[integer_digits] = '.';
    if (n <= e + 1) {
      at[integer_digits + 1] = '0';
      return integer_digits + 2;
    }
    return static_cast<std::size_t>(n) + 1;
  }
  at[0] = at[1];
  at[1] = '.';
  std::size_t position = n == 1 ? 1 : static_cast<std::size_t>(n) + 1;
  at[position++] = 'e';
  at[position++] = e < 0 ? '-' : '+';
  auto magnitude = static_cast<std::uint32_t>(e < 0 ? -e : e);
  if (magnitude >= 100) {
    at[position++] = static_cast<char>('0' + magnitude / 100);
    put_two_digits(at + position, magnitude % 100);
    position += 2;
  } else if (magnitude >= 10) {
    put_two_digits(at + position, magnitude);
    position += 2;
  } else {
    at[position++] = static_cast<char>('0' + magnitude);
  }
  return position;
}

// The high bit of each byte of `word` that needs an escape (below 0x20, '"'
// or '\'), and no other bit. Each byte is tested on its own, without carries
// between bytes, so the mask is exact in every byte.
inline std::uint64_t escape_mask(std::uint64_t word) noexcept {
  constexpr std::uint64_t ones = 0x0101010101010101;
  constexpr std::uint64_t low_7 = ones * 0x7F;
  const std::uint64_t quote = word ^ (ones * '"');
  const std::uint64_t backslash = word ^ (ones * '\\');
  const std::uint64_t is_control = ((word & low_7) + ones * 0x60) | word;
  const std::uint64_t is_quote = ((quote & low_7) + low_7) | quote;
  const std::uint64_t is_backslash = ((backslash & low_7) + low_7) | backslash;
  return ~(is_control & is_quote & is_backslash) & (ones * 0x80);
}

inline std::uint64_t load_8(const char* at) noexcept {
  std::uint64_t word;
  std::memcpy(&word, at, 8);
  return word;
}

inline std::uint32_t load_4(const char* at) noexcept {
  std::uint32_t half;
  std::memcpy(&half, at, 4);
  return half;
}

// The free bytes of `out` if there are at least `count` of them, else null.
// Pieces written straight into that room grow the buffer exactly as appending
// them one by one would: none of them needs more than the room there is.
inline char* room_for(ByteBuffer& out, std::size_t count) noexcept {
  const std::span<std::byte> free = out.free_space();
  return free.size() >= count ? reinterpret_cast<char*>(free.data()) : nullptr;
}

// The first byte in [from, end) that needs an escape, or end.
inline const char* find_escape(const char* from, const char* end) noexcept {
  while (end - from >= 8 && escape_mask(load_8(from)) == 0) from += 8;
  while (from != end && escape_table[static_cast<unsigned char>(*from)] == 0) ++from;
  return from;
}

void write_escape(unsigned char byte, ByteBuffer& out) {
  const char entry = escape_table[byte];
  if (entry == 'u') {
    const char text[6] = {'\\', 'u', '0', '0', hex_digits[byte >> 4], hex_digits[byte & 0xF]};
    out.append(text, sizeof text);
  } else {
    const char text[2] = {'\\', entry};
    out.append(text, sizeof text);
  }
}

// The rest of a string from `from`, the opening quote already written: runs
// of plain bytes in one piece each, the escapes between them, the closing quote.
void write_string_rest(const char* from, const char* end, ByteBuffer& out) {
  for (;;) {
    const char* const escape = find_escape(from, end);
    out.append(from, static_cast<std::size_t>(escape - from));
    if (escape == end) break;
    write_escape(static_cast<unsigned char>(*escape), out);
    from = escape + 1;
  }
  out.push_back('"');
}

// Room for `text_size` bytes written with every byte escaped (six bytes at
// most each) plus `extra` bytes, or null. With that room the whole text is
// written in place; without it, piece by piece. Eight bytes more let words be
// stored whole past the end of what is written.
inline char* room_for_string(ByteBuffer& out, std::size_t text_size, std::size_t extra) noexcept {
  constexpr std::size_t largest = (~std::size_t{0} - 64) / 6;
  return text_size <= largest ? room_for(out, 6 * text_size + extra + 8) : nullptr;
}

inline char* put_escape(char* to, unsigned char byte) noexcept {
  const char entry = escape_table[byte];
  to[0] = '\\';
  to[1] = entry;
  if (entry != 'u') return to + 2;
  to[2] = '0';
  to[3] = '0';
  to[4] = hex_digits[byte >> 4];
  to[5] = hex_digits[byte & 0xF];
  return to + 6;
}

inline void store_8(char* to, std::uint64_t word) noexcept {
  std::memcpy(to, &word, 8);
}

// The bytes of a text shorter than eight in the low bytes of a word, the
// bytes above them zero; read without touching a byte outside the text.
inline std::uint64_t load_short(const char* from, std::size_t size) noexcept {
  if (size >= 4) {
    return load_4(from) | std::uint64_t{load_4(from + size - 4)} << (8 * (size - 4));
  }
  if (size == 0) return 0;
  const std::size_t middle = size / 2;
  return std::uint64_t{static_cast<unsigned char>(from[0])} |
         std::uint64_t{static_cast<unsigned char>(from[middle])} << (8 * middle) |
         std::uint64_t{static_cast<unsigned char>(from[size - 1])} << (8 * (size - 1));
}

// Writes `text` in quotes with its escapes at `to`, which has the room
// `room_for_string` asks for; returns the end. Words are stored whole and the
// position then moves past their plain bytes only.
char* put_string(char* to, std::string_view text) noexcept {
  const char* from = text.data();
  const char* const end = from + text.size();
  *to++ = '"';
  if constexpr (std::endian::native != std::endian::little) {
    for (; from != end; ++from) {
      const auto byte = static_cast<unsigned char>(*from);
      if (escape_table[byte] == 0) {
        *to++ = static_cast<char>(byte);
      } else {
        to = put_escape(to, byte);
      }
    }
    *to++ = '"';
    return to;
  }
  while (end - from >= 8) {
    const std::uint64_t word = load_8(from);
    const std::uint64_t mask = escape_mask(word);
    store_8(to, word);
    if (mask == 0) {
      to += 8;
      from += 8;
      continue;
    }
    const auto plain = static_cast<std::size_t>(std::countr_zero(mask) / 8);
    to = put_escape(to + plain, static_cast<unsigned char>(from[plain]));
    from += plain + 1;
  }
  // Fewer than eight bytes left: take them as the high bytes of the last
  // eight when the text is that long, and shift them down.
  auto rest = static_cast<std::size_t>(end - from);
  if (rest != 0) {
    const unsigned shift = 8 * static_cast<unsigned>(8 - rest);
    std::uint64_t word = text.size() >= 8 ? load_8(end - 8) >> shift : load_short(from, rest);
    std::uint64_t mask = escape_mask(word) & (~std::uint64_t{0} >> shift);
    for (;;) {
      store_8(to, word);
      if (mask == 0) break;
      const auto plain = static_cast<unsigned>(std::countr_zero(mask) / 8);
      to = put_escape(to + plain, static_cast<unsigned char>(word >> (8 * plain)));
      // At most seven bytes were left, so these shifts stay below 64.
      word >>= 8 * (plain + 1);
      mask >>= 8 * (plain + 1);
      rest -= plain + 1;
    }
    to += rest;
  }
  *to++ = '"';
  return to;
}

// A member's separator (the opening brace for the first), key and colon.
inline void write_member_key(char separator, std::string_view key, ByteBuffer& out) {
  if (char* const room = room_for_string(out, key.size(), 4)) {
    room[0] = separator;
    char* const end = put_string(room + 1, key);
    *end = ':';
    out.commit(static_cast<std::size_t>(end + 1 - room));
    return;
  }
  out.push_back(separator);
  out.push_back('"');
  write_string_rest(key.data(), key.data() + key.size(), out);
  out.push_back(':');
}

// Writes the decimal digits of `value` so that they end just before `end`;
// returns the first.
inline char* put_digits(char* end, std::uint64_t value) noexcept {
  while (value >= 100) {
    end -= 2;
    put_two_digits(end, static_cast<std::uint32_t>(value % 100));
    value /= 100;
  }
  if (value >= 10) {
    end -= 2;
    put_two_digits(end, static_cast<std::uint32_t>(value));
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

inline std::size_t digit_count(std::uint64_t value) noexcept {
  // 1233 / 4096 is just above log10(2); the comparison corrects the estimate.
  const auto estimate = static_cast<std::size_t>((std::bit_width(value | 1) * 1233) >> 12);
  return estimate + ((value | 1) >= powers_of_ten[estimate] ? 1 : 0);
}

}  // namespace

std::size_t format_integer(std::uint64_t value, std::span<char, 20> area) {
  return static_cast<std::size_t>(put_digits(area.data() + area.size(), value) - area.data());
}

std::size_t format_floating(double value, std::span<char, 24> area) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
  char* at = area.data();
  if (magnitude >= std::uint64_t{0x7FF} << 52) {
    std::memcpy(at, "null", 4);
    return 4;
  }
  const std::size_t sign = bits >> 63;
  at[0] = '-';
  at += sign;
  if (magnitude == 0) {
    std::memcpy(at, "0.0", 3);
    return sign + 3;
  }
  return sign + lay_out(at, to_decimal(magnitude));
}

namespace {

// The number text at `to`, which has room for 24 bytes; returns the end.
char* put_number(char* to, JsonNumber number) noexcept {
  if (number.kind() == JsonNumber::Kind::floating) {
    return to + format_floating(number.floating_value(), std::span<char, 24>(to, 24));
  }
  // Negated as unsigned, so the smallest negative value has a magnitude too.
  const bool negative = number.kind() == JsonNumber::Kind::negative_integer;
  const std::uint64_t magnitude = negative ? 0 - number.bits() : number.bits();
  to[0] = '-';
  char* const end = to + (negative ? 1 : 0) + digit_count(magnitude);
  put_digits(end, magnitude);
  return end;
}

constexpr std::size_t no_room = ~std::size_t{0};

// The room `put_scalar` needs for a value that is not a container, or
// no_room for a string too long to write in place.
inline std::size_t scalar_room(const JsonValue& value) noexcept {
  switch (value.kind()) {
    case JsonKind::number:
      return 24;
    case JsonKind::string: {
      // As room_for_string: every byte escaped, the quotes, eight spare.
      constexpr std::size_t largest = (~std::size_t{0} - 64) / 6;
      const std::size_t size = value.string_text().size();
      return size <= largest ? 6 * size + 10 : no_room;
    }
    default:
      return 5;
  }
}

inline char* put_scalar(char* to, const JsonValue& value) noexcept {
  switch (value.kind()) {
    case JsonKind::number:
      return put_number(to, value.number());
    case JsonKind::string:
      return put_string(to, value.string_text());
    case JsonKind::boolean:
      if (value.boolean()) {
        std::memcpy(to, "true", 4);
        return to + 4;
      }
      std::memcpy(to, "false", 5);
      return to + 5;
    default:
      std::memcpy(to, "null", 4);
      return to + 4;
  }
}

inline bool is_container(const JsonValue& value) noexcept {
  return value.kind() == JsonKind::array || value.kind() == JsonKind::object;
}

// A member whose value is no container: separator, key, colon and value in
// place when the room is there for all of them.
inline bool put_scalar_member(char separator, std::string_view key, const JsonValue& value,
                              ByteBuffer& out) noexcept {
  const std::size_t value_room = scalar_room(value);
  constexpr std::size_t largest = (~std::size_t{0} - 64) / 12;
  if (value_room == no_room || key.size() > largest) return false;
  char* const room = room_for(out, 6 * key.size() + 12 + value_room);
  if (room == nullptr) return false;
  room[0] = separator;
  char* to = put_string(room + 1, key);
  *to++ = ':';
  to = put_scalar(to, value);
  out.commit(static_cast<std::size_t>(to - room));
  return true;
}

// An element that is no container, after its separator, likewise.
inline bool put_scalar_element(char separator, const JsonValue& value, ByteBuffer& out) noexcept {
  const std::size_t value_room = scalar_room(value);
  if (value_room == no_room) return false;
  char* const room = room_for(out, value_room + 1);
  if (room == nullptr) return false;
  room[0] = separator;
  out.commit(static_cast<std::size_t>(put_scalar(room + 1, value) - room));
  return true;
}

}  // namespace

void write_json_number(JsonNumber number, ByteBuffer& out) {
  if (char* const room = room_for(out, 24)) {
    out.commit(static_cast<std::size_t>(put_number(room, number) - room));
    return;
  }
  if (number.kind() == JsonNumber::Kind::floating) {
    std::array<char, 24> area;
    out.append(area.data(), format_floating(number.floating_value(), area));
    return;
  }
  const bool negative = number.kind() == JsonNumber::Kind::negative_integer;
  std::array<char, 20> area;
  std::size_t first = format_integer(negative ? 0 - number.bits() : number.bits(), area);
  if (negative) area[--first] = '-';
  out.append(area.data() + first, area.size() - first);
}

void write_json_string(std::string_view text, ByteBuffer& out) {
  if (char* const room = room_for_string(out, text.size(), 2)) {
    out.commit(static_cast<std::size_t>(put_string(room, text) - room));
    return;
  }
  out.push_back('"');
  write_string_rest(text.data(), text.data() + text.size(), out);
}

namespace {

// The recursion below is as deep as the value is nested, and a value read
// from input can nest thousands of levels deep: whatever is not the walk
// itself stays out of line, so each level costs only a small frame.

[[gnu::noinline]] void write_scalar(const JsonValue& value, ByteBuffer& out) {
  switch (value.kind()) {
    case JsonKind::number:
      write_json_number(value.number(), out);
      return;
    case JsonKind::string:
      write_json_string(value.string_text(), out);
      return;
    case JsonKind::boolean:
      if (value.boolean()) {
        out.append("true", 4);
      } else {
        out.append("false", 5);
      }
      return;
    default:
      out.append("null", 4);
  }
}

[[gnu::noinline]] void write_scalar_element(char separator, const JsonValue& value,
                                            ByteBuffer& out) {
  if (put_scalar_element(separator, value, out)) return;
  out.push_back(separator);
  write_scalar(value, out);
}

[[gnu::noinline]] void write_scalar_member(char separator, std::string_view key,
                                           const JsonValue& value, ByteBuffer& out) {
  if (put_scalar_member(separator, key, value, out)) return;
  write_member_key(separator, key, out);
  write_scalar(value, out);
}

[[gnu::noinline]] void write_container_key(char separator, std::string_view key, ByteBuffer& out) {
  write_member_key(separator, key, out);
}

}  // namespace

void serialize_compact(const JsonValue& value, ByteBuffer& out) {
  switch (value.kind()) {
    case JsonKind::array: {
      // The opening bracket doubles as the first separator.
      char separator = '[';
      for (const JsonValue& element : value.elements()) {
        if (is_container(element)) {
          out.push_back(separator);
          serialize_compact(element, out);
        } else {
          write_scalar_element(separator, element, out);
        }
        separator = ',';
      }
      if (separator == '[') out.push_back('[');
      out.push_back(']');
      return;
    }
    case JsonKind::object: {
      char separator = '{';
      value.object().for_each([&](std::string_view key, const JsonValue& member) {
        if (is_container(member)) {
          write_container_key(separator, key, out);
          serialize_compact(member, out);
        } else {
          write_scalar_member(separator, key, member, out);
        }
        separator = ',';
      });
      if (separator == '{') out.push_back('{');
      out.push_back('}');
      return;
    }
    default:
      write_scalar(value, out);
  }
}

}  // namespace obrelix::json
