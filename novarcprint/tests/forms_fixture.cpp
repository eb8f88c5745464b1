/*
 * The form tests' shared pieces: sample payloads and the printer session.
 */
#include "forms_fixture.h"

#include "printer.h"
#include "stream.h"
#include <registry_printer.h>

using winport::gdi::GetRecord;
using winport::gdi::Only;

namespace {

std::string Str(const std::string &s)
{
    return s + '\0';
}

} // namespace

std::string RxSample::Payload(int iLast) const
{
    /* Items in payload order, each tagged with its item number. */
    std::vector<std::pair<int, std::string>> items = {
        {1, Int32(word1)},
        {2, Int32(word2)},
        {3, Str(letterhead)},
        {4, Str(practice[0]) + Str(practice[1]) + Str(practice[2])},
        {5, Str(practicePhone)},
        {6, Str(patient)},
        {7, Str(patientAddress[0]) + Str(patientAddress[1])},
        {8, Str(age)},
        {9, Str(dob)},
        {10, Str(patientPhone)},
        {11, Str(prescriber)},
        {12, Str(dea)},
        {13, Str(licence)},
        {14, Str(prescriber2)},
        {15, Str(dea2)},
        {16, Str(licence2)},
        {17, Str(written)},
        {18, Str(government)},
        {19, Str(drug)},
        {20, Str(detail)},
        {21, Str(directions)},
        {22, Str(quantity)},
        {23, Str(unit)},
        {24, Str(daw)},
        {25, Str(mdd)},
        {26, Int32(dawPrint)},
        {27, Int32(refillCount)},
        {28, Int32(plan)},
        {29, Str(planName)},
        {30, Int32(diagnosis)},
        {31, Str(dx[0]) + Str(dx[1]) + Str(dx[2])},
        {32, Int32(copy)},
        {33, Int32(esigned)},
        {34, Int32(jurisdiction)},
        {35, Int32(npiFlag)},
        {36, Str(npi)},
        {37, Str(npi2)},
        {38, Int32(fax)},
        {39, Str(signatureLine)},
        {40, Str(refills)},
        {41, Str(prescribedOn)},
        {42, Str(fillAfter)},
        {43, Str(patientNote)},
        {44, Int32(copyLabel)},
        {45, Str(note)},
        {46, Str(ctp)},
        {47, Str(ctp2)},
        {48, Str(signatureLine2)},
        {49, Int32(facsimileOnly)},
        {50, Str(offsets[0]) + Str(offsets[1]) + Str(offsets[2])},
        {51, Int32(notForDispensing)},
        {52, Str(patientNote2)},
        {53, Str(deaSuffix)},
        {54, Int32(daysSupply)},
    };
    std::string out;
    for (const auto &item : items)
        if (item.first <= iLast)
            out += item.second;
    return out;
}

OpticalSample::OpticalSample()
{
    const char *const values[34] = {
        "LAKESIDE EYE CARE", "48 Harbour Street", "Suite 210", "Burlington VT 05401",
        "(802) 555-0110", "NGUYEN, THANH", "9 Maple Avenue", "Burlington VT 05408", "54",
        "Mirela Stan OD", "", "OD-0045521", "09/12/2025", "09/12/2026",
        /* right, then left: sphere, cylinder, axis, prism, base; then near */
        "-2.25", "-0.50", "180", "0.5", "BU", "-2.00", "-0.75", "175", "0.5", "BD", "-1.00",
        "-0.25", "170", "1.0", "BI", "-0.80", "-0.50", "165", "1.5", "BO"};
    for (int k = 0; k < 34; k++)
        f[k] = values[k];
    remarks[0] = "Anti-reflective coating";
    remarks[2] = "Progressive lenses acceptable";
}

std::string OpticalSample::EyePayload() const
{
    std::string out = Int32(layout) + Int32(1) + Int32(2);
    for (const std::string &v : f)
        out += Str(v);
    for (const std::string &v : remarks)
        out += Str(v);
    return out + Str(signer);
}

std::string OpticalSample::ContactLensPayload() const
{
    static const int order[] = {0,  1,  2,  3,  4,  5,  6,  8,  9,  10, 11, 12,
                                13, 14, 19, 15, 20, 16, 21, 17, 22, 18, 23};
    std::string out = Int32(0);
    for (int k : order)
        out += Str(f[k]);
    for (const std::string &v : remarks)
        out += Str(v);
    return out + Str(signer);
}

void FormsTest::TearDown()
{
    if (session_ && session_->m_bOpenedPrinter)
        CloseNovarcPrinter(session_.get());
    SessionTest::TearDown();
}

void FormsTest::Open(int dpi)
{
    dpi_ = dpi;
    const std::string name = "Rx Laser " + std::to_string(dpi);
    AddRegistryPrinter(
        name, {{"Printer Driver", "Generic Laser"}, {"Port", "NUL:"}, {"Margins", "0,0,0,0"}},
        {{"Resolution", (DWORD)dpi}});
    const std::string record = name + '\0' + "Generic Laser" + '\0' + Int32(66) + Int32(0) + '\0';
    MsgBuf msg = MsgBuf();
    AppendBytes(&msg, record.data(), (int)record.size());
    OpenNovarcPrinter(session_.get(), &msg);
    FreeMsgBuf(&msg);
    ASSERT_TRUE(session_->m_bOpenedPrinter);
    ASSERT_EQ(GetDeviceCaps(Dc(), LOGPIXELSX), dpi);
    ASSERT_TRUE(winport::gdi::SetRecording(Dc(), true));
}

int FormsTest::Run(RequestHandler handler, int type, const std::string &payload)
{
    MsgBuf msg = MsgBuf();
    if (!payload.empty())
        AppendBytes(&msg, payload.data(), (int)payload.size());
    const int result = handler(session_.get(), &msg, type);
    FreeMsgBuf(&msg);
    return result;
}

void FormsTest::At(int x600, int y600)
{
    Run(HandleSetPosition, SET_HORZ_POS, Int32(x600));
    Run(HandleSetPosition, SET_VERT_POS, Int32(y600));
    x0_ = x600 * dpi_ / 600;
    y0_ = y600 * dpi_ / 600;
}

std::vector<RecText> FormsTest::Texts()
{
    return Only<RecText>(GetRecord(Dc()));
}

std::vector<RecLine> FormsTest::Lines()
{
    return Only<RecLine>(GetRecord(Dc()));
}

std::vector<RecShape> FormsTest::Shapes()
{
    return Only<RecShape>(GetRecord(Dc()));
}

std::vector<RecBitmap> FormsTest::Bitmaps()
{
    return Only<RecBitmap>(GetRecord(Dc()));
}

RecText FormsTest::Text(const std::string &text)
{
    for (const RecText &t : Texts())
        if (t.text == text)
            return t;
    ADD_FAILURE() << "no text \"" << text << "\" was drawn";
    return RecText();
}

bool FormsTest::Drew(const std::string &text)
{
    for (const RecText &t : Texts())
        if (t.text == text)
            return true;
    return false;
}

void FormsTest::ExpectAt(const std::string &text, int x, int y)
{
    const RecText t = Text(text);
    EXPECT_EQ(t.ref.x, x) << "x of \"" << text << "\"";
    EXPECT_EQ(t.ref.y, y) << "y of \"" << text << "\"";
}

SIZE FormsTest::Size(const char *face, double points, int weight, const std::string &text)
{
    /* Measuring draws nothing: the record stays as the form left it. */
    HDC dc = Dc();
    char buffer[FONT_FACE_SIZE];
    snprintf(buffer, sizeof(buffer), "%s", face);
    HFONT font = NULL;
    const int height = -MulDiv((int)(points * 1000 + 1e-6), dpi_, 72000);
    CreatePrinterFont(session_.get(), Dc(), &font, buffer, height, 0, weight, 0, 0, 0);
    SIZE size = {0, 0};
    if (font) {
        HGDIOBJ old = SelectObject(dc, font);
        GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &size);
        SelectObject(dc, old);
        DeleteObject(font);
    }
    return size;
}
