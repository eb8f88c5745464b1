/*
 * Form tests: a session with a registry printer at 600 or 300 dpi, the
 * form handlers run directly, and what they drew read off the DC's record.
 * Expected positions are worked out here from the forms' inches, points
 * and device-unit offsets; text sizes come from fonts the test makes
 * itself through the shared font lookup.  Tests only.
 */
#ifndef NOVARCPRINT_TESTS_FORMS_FIXTURE_H
#define NOVARCPRINT_TESTS_FORMS_FIXTURE_H

#include <gdi_record.h>

#include <string>
#include <vector>

#include "draw.h"
#include "forms.h"
#include "session_fixture.h"

using winport::gdi::RecBitmap;
using winport::gdi::RecLine;
using winport::gdi::RecShape;
using winport::gdi::RecText;

/* A prescription as the server sends it, with realistic values; Payload
 * encodes items 1 to iLast in payload order. */
struct RxSample {
    int word1 = 7, word2 = 0;
    std::string letterhead = "RIVERSIDE FAMILY MEDICINE";
    std::string practice[3] = {"1200 River Road", "Suite 4", "Trenton NJ 08608"};
    std::string practicePhone = "(609) 555-0142";
    std::string patient = "HALVORSEN, INGRID";
    std::string patientAddress[2] = {"22 Elm Street", "Trenton NJ 08611"};
    std::string age = "67";
    std::string dob = "03/14/1958";
    std::string patientPhone = "(609) 555-0199";
    std::string prescriber = "Amara Okafor MD";
    std::string dea = "BO1234563";
    std::string licence = "25MA07744100";
    std::string prescriber2, dea2, licence2;
    std::string written = "09/12/2025";
    std::string government;
    std::string drug = "Lisinopril";
    std::string detail = "10 mg tablet";
    std::string directions = "Take one tablet by mouth once daily";
    std::string quantity = "30", unit = "tablets";
    std::string daw = "N";
    std::string mdd = "10 mg";
    int dawPrint = 0, refillCount = 2;
    int plan = 0;
    std::string planName;
    int diagnosis = 0;
    std::string dx[3];
    int copy = 1, esigned = 0, jurisdiction = 0, npiFlag = 1;
    std::string npi = "1548306221", npi2;
    int fax = 0;
    std::string signatureLine;
    std::string refills = "2";
    std::string prescribedOn, fillAfter;
    std::string patientNote;
    int copyLabel = 0;
    std::string note;
    std::string ctp, ctp2;
    std::string signatureLine2;
    int facsimileOnly = 0;
    std::string offsets[3];
    int notForDispensing = 0;
    std::string patientNote2;
    std::string deaSuffix;
    int daysSupply = 0;

    std::string Payload(int iLast = 54) const;
};

/* The two optical records as the server sends them. */
struct OpticalSample {
    int layout = 0;
    std::string f[34];
    std::string remarks[7];
    std::string signer = "Mirela Stan, OD";
    OpticalSample();
    std::string EyePayload() const;
    std::string ContactLensPayload() const;
};

class FormsTest : public SessionTest, public ::testing::WithParamInterface<int> {
protected:
    void TearDown() override;
    /* Opens a registry printer of that resolution (0 margins) and records
     * what is drawn on it. */
    void Open(int dpi);
    HDC Dc() { return session_->m_Printer.m_hPrinterDc; }
    int Run(RequestHandler handler, int type, const std::string &payload);
    /* The session's print position, in the server's 1/600 inch. */
    void At(int x600, int y600);

    std::vector<RecText> Texts();
    std::vector<RecLine> Lines();
    std::vector<RecShape> Shapes();
    std::vector<RecBitmap> Bitmaps();
    /* The text drawn with exactly these bytes (fails the test when none). */
    RecText Text(const std::string &text);
    bool Drew(const std::string &text);
    /* The text was drawn with its reference point at (x, y). */
    void ExpectAt(const std::string &text, int x, int y);

    /* Expected values: inches and points at the printer's resolution,
     * truncated as the forms' arithmetic is. */
    int InX(double inches) const { return (int)(inches * dpi_ + 1e-6); }
    int InY(double inches) const { return (int)(inches * dpi_ + 1e-6); }
    SIZE Size(const char *face, double points, int weight, const std::string &text);
    int Height(const char *face, double points, int weight = 400)
    {
        return Size(face, points, weight, " ").cy;
    }
    int Width(const char *face, double points, int weight, const std::string &text)
    {
        return Size(face, points, weight, text).cx;
    }

    int dpi_ = 600;
    int x0_ = 0, y0_ = 0; /* the origin At() set, in device units */
};

#endif
