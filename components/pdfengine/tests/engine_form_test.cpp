/*
 * The form object: a form made by the test is filled (text in
 * Windows-1252, check box, radio button, choice), read back with poppler
 * (its fields, and the text on the printed and saved pages), through the
 * virtual slots in the order the client calls them.
 */
#include "component_fixture.h"

#include <kelpdftron.h>

#include <poppler.h>

#include <cstring>
#include <map>

namespace {

class EngineForm : public ComponentTest {
protected:
    void SetUp() override
    {
        engine_ = Install(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER);
        ASSERT_NE(engine_, nullptr);
        create_ =
            Bind<decltype(&CreateKelPdfCompFormObject)>(engine_, "CreateKelPdfCompFormObject");
        delete_ =
            Bind<decltype(&DeleteKelPdfCompFormObject)>(engine_, "DeleteKelPdfCompFormObject");
        formPath_ = PutInput("form.pdf", samples::FormPdf());
        form_ = create_();
        ASSERT_NE(form_, nullptr);
        ASSERT_EQ(1, form_->OpenForm(formPath_.c_str()));
    }
    void TearDown() override
    {
        delete_(form_);
        FreeLibrary(engine_);
    }

    /* The fields of a saved form as poppler reads them: name=value, with
     * check boxes and radio buttons as on/off per widget. */
    static std::map<std::string, std::string> Fields(const std::string &path)
    {
        std::map<std::string, std::string> fields;
        gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        PopplerDocument *doc = poppler_document_new_from_file(uri, nullptr, nullptr);
        g_free(uri);
        if (!doc)
            return fields;
        PopplerPage *page = poppler_document_get_page(doc, 0);
        GList *mapping = poppler_page_get_form_field_mapping(page);
        for (GList *l = mapping; l; l = l->next) {
            PopplerFormField *f = static_cast<PopplerFormFieldMapping *>(l->data)->field;
            gchar *name = poppler_form_field_get_name(f);
            std::string value;
            switch (poppler_form_field_get_field_type(f)) {
            case POPPLER_FORM_FIELD_TEXT: {
                gchar *text = poppler_form_field_text_get_text(f);
                value = text ? text : "";
                g_free(text);
                break;
            }
            case POPPLER_FORM_FIELD_BUTTON:
                value = poppler_form_field_button_get_state(f) ? "on" : "off";
                break;
            case POPPLER_FORM_FIELD_CHOICE:
                for (int i = 0; i < poppler_form_field_choice_get_n_items(f); i++)
                    if (poppler_form_field_choice_is_item_selected(f, i)) {
                        gchar *item = poppler_form_field_choice_get_item(f, i);
                        value = item ? item : "";
                        g_free(item);
                    }
                break;
            default:
                break;
            }
            std::string key = name ? name : "";
            g_free(name);
            /* Radio buttons are one field with a widget each. */
            fields[key] = fields.count(key) ? fields[key] + "," + value : value;
        }
        poppler_page_free_form_field_mapping(mapping);
        g_object_unref(page);
        g_object_unref(doc);
        return fields;
    }

    void FillTheUsualFields()
    {
        ASSERT_EQ(1, form_->SetField("PatientName",
                                     "Zo\xEB M\xFC"
                                     "ller",
                                     KELPDF_FIELD_SET_VALUE));
        ASSERT_EQ(1, form_->SetField("Consent", "Yes", KELPDF_FIELD_SET_VALUE));
        ASSERT_EQ(1, form_->SetField("Sex", "F", KELPDF_FIELD_SET_VALUE));
        ASSERT_EQ(1, form_->SetField("Clinic", "South", KELPDF_FIELD_SET_VALUE));
    }

    HMODULE engine_ = nullptr;
    decltype(&CreateKelPdfCompFormObject) create_ = nullptr;
    decltype(&DeleteKelPdfCompFormObject) delete_ = nullptr;
    KelPdfCompFormObject *form_ = nullptr;
    std::string formPath_;
    char error_[KELPDFTRON_ERROR_TEXT_SIZE] = "";
};

} // namespace

TEST_F(EngineForm, FilledFieldsReadBackWithPoppler)
{
    FillTheUsualFields();
    ASSERT_EQ(1, form_->SaveForm("C:\\in\\filled.pdf", 0, error_)) << error_;
    auto fields = Fields(root.driveC("in/filled.pdf"));
    EXPECT_EQ("Zoë Müller", fields["PatientName"]);
    EXPECT_EQ("on", fields["Consent"]);
    /* poppler lists widgets last to first. */
    EXPECT_TRUE(fields["Sex"] == "on,off" || fields["Sex"] == "off,on") << fields["Sex"];
    EXPECT_EQ("South", fields["Clinic"]);
    EXPECT_EQ("Secret", fields["Hidden"]) << "fields not set keep their values";
}

TEST_F(EngineForm, APreparedFormHasItsValuesOnThePageWhereTheFieldsWere)
{
    FillTheUsualFields();
    ASSERT_EQ(1, form_->PrepareForm());
    ASSERT_EQ(1, form_->SaveForm("C:\\in\\flat.pdf", KELPDF_SAVE_LINEARIZED, error_)) << error_;
    std::string flat = root.driveC("in/flat.pdf");
    EXPECT_EQ("", QpdfCheck(flat));
    EXPECT_TRUE(Fields(flat).empty()) << "no fields left: the values are page content";
    EXPECT_NE(std::string::npos,
              RunCommand("qpdf --show-linearization '" + flat + "' 2>&1").find("linearization"));
    double box[4];
    std::string bbox = PdfToTextBbox(flat);
    ASSERT_TRUE(WordBox(bbox, "Zoë", box)) << bbox;
    /* In the field's rectangle, (72,700)-(372,720) from the bottom. */
    EXPECT_GT(box[0], 72);
    EXPECT_GT(box[1], 792 - 720 - 1);
    EXPECT_LT(box[3], 792 - 700 + 1);
    EXPECT_TRUE(WordBox(bbox, "Müller", box));
    EXPECT_TRUE(WordBox(bbox, "South", box));
    EXPECT_TRUE(WordBox(bbox, "Secret", box));
}

TEST_F(EngineForm, PrintingPutsTheFilledFormOnThePrinter)
{
    AddFilePrinter("Laser", "form.pdf");
    FillTheUsualFields();
    ASSERT_EQ(1, form_->SetField("Hidden", "", KELPDF_FIELD_HIDDEN));
    ASSERT_EQ(1, form_->PrepareForm());
    HDC dc = StartDocument("Laser");
    ASSERT_EQ(1, form_->PrintForm(dc, -1, error_)) << error_;
    ASSERT_EQ(1, form_->PrintForm(dc, 1, error_)) << error_;
    EXPECT_EQ(0, form_->PrintForm(dc, 2, error_)) << "the form has one page";
    EXPECT_STRNE("", error_);
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    std::string text = PdfToText(Out("form.pdf"));
    EXPECT_EQ(2, PdfPages(Out("form.pdf")));
    EXPECT_NE(std::string::npos, text.find("Zoë Müller")) << text;
    EXPECT_NE(std::string::npos, text.find("South"));
    EXPECT_EQ(std::string::npos, text.find("Secret")) << "a hidden field does not print";
}

TEST_F(EngineForm, ValuesAFieldCannotTakeAreRefused)
{
    EXPECT_EQ(0, form_->SetField("NoSuchField", "x", KELPDF_FIELD_SET_VALUE));
    EXPECT_EQ(0, form_->SetField("Sex", "Q", KELPDF_FIELD_SET_VALUE)) << "no such button";
    EXPECT_EQ(0, form_->SetField("Clinic", "West", KELPDF_FIELD_SET_VALUE)) << "no such option";
    EXPECT_EQ(1, form_->SetField("Consent", "Off", KELPDF_FIELD_SET_VALUE));
    EXPECT_EQ(1, form_->SetField("PatientName", "Read only",
                                 KELPDF_FIELD_SET_VALUE | KELPDF_FIELD_READ_ONLY));
    ASSERT_EQ(1, form_->SaveForm("C:\\in\\refused.pdf", 0, error_));
    auto fields = Fields(root.driveC("in/refused.pdf"));
    EXPECT_EQ("off", fields["Consent"]);
    EXPECT_EQ("North", fields["Clinic"]);
}

TEST_F(EngineForm, AFormThatIsNoPdfDoesNotOpen)
{
    std::string path = PutInput("broken.pdf", "not a form");
    EXPECT_EQ(0, form_->OpenForm(path.c_str()));
    EXPECT_EQ(0, form_->OpenForm("C:\\in\\missing.pdf"));
    EXPECT_EQ(0, form_->SetField("PatientName", "x", KELPDF_FIELD_SET_VALUE));
    EXPECT_EQ(0, form_->PrepareForm());
    EXPECT_EQ(0, form_->SaveForm("C:\\in\\out.pdf", 0, error_));
    EXPECT_STREQ("no form open", error_);
}

/* The client calls the object through its virtual slots by number. */
TEST_F(EngineForm, TheSlotsAreInTheOrderTheClientCallsThem)
{
    using Open = int (*)(KelPdfCompFormObject *, LPCSTR);
    using Set = int (*)(KelPdfCompFormObject *, LPCSTR, LPCSTR, int);
    using Save = int (*)(KelPdfCompFormObject *, LPCSTR, int, LPSTR);
    using Prepare = int (*)(KelPdfCompFormObject *);
    void **slots = *reinterpret_cast<void ***>(form_);
    EXPECT_EQ(1, reinterpret_cast<Open>(slots[2])(form_, formPath_.c_str()));
    EXPECT_EQ(1, reinterpret_cast<Set>(slots[3])(form_, "Clinic", "East", 1));
    EXPECT_EQ(1, reinterpret_cast<Prepare>(slots[6])(form_));
    EXPECT_EQ(1, reinterpret_cast<Save>(slots[5])(form_, "C:\\in\\slots.pdf", 0, error_));
    EXPECT_NE(std::string::npos, PdfToText(root.driveC("in/slots.pdf")).find("East"));
}
