//
//  The choice of implementation at program start and the ejector that forwards to it.
//
#include "session/ejector/CIMAPIEjector.h"
#include "session/ejector/CIMAPIEjectorImpV1.h"
#include "session/ejector/CIMAPIEjectorImpV2.h"
#include "session/ejector/tests/DiscTestFixture.h"

#include <memory>

namespace {

using testbed::DiscMedia;

class EjectorSelection : public DiscTest {
protected:
    void TearDown() override
    {
        CIMAPIEjectorFactory::DeleteInstance();
        DiscTest::TearDown();
    }
};

TEST_F(EjectorSelection, PrefersTheSystemsImapi2AndTakesTheFirstGenerationOnlyWhereItIsMissing)
{
    enum class Chosen { None, First, Second };
    struct Case {
        bool first;      // the disc master service is registered
        bool imapi2;     // the system folder holds imapi2.dll
        bool exports;    // ... which exports its class factory
        Chosen chosen;
    };
    const Case cases[] = {
        {true, true, true, Chosen::Second},
        {false, true, true, Chosen::Second},
        {true, false, true, Chosen::First},
        {false, false, true, Chosen::None},
        {true, true, false, Chosen::None},
    };
    const auto exports = discs.imapi2.exports;
    for (const Case& c : cases) {
        discs.firstGenerationRegistered = c.first;
        discs.imapi2.present = c.imapi2;
        discs.imapi2.exports = c.exports ? exports : decltype(exports)();
        EXPECT_EQ(CanCreateEjectorImplementation(), c.chosen != Chosen::None);
        EXPECT_EQ(SelectEjectorImplementation(), c.chosen != Chosen::None);
        CIMAPIEjectorFactory* factory = CIMAPIEjectorFactory::GetInstance();
        CIMAPIEjectorImp* made = factory->CreateImp();
        EXPECT_EQ(dynamic_cast<CIMAPIEjectorImpV2*>(made) != nullptr, c.chosen == Chosen::Second);
        EXPECT_EQ(dynamic_cast<CIMAPIEjectorImpV1*>(made) != nullptr, c.chosen == Chosen::First);
        if (made)
            factory->DestroyImp(made);
        CIMAPIEjectorFactory::DeleteInstance();
    }
    ExpectEverythingGivenBack();
}

TEST_F(EjectorSelection, EjectAllReachesEveryDriveWhateverClassesTheUserRegistered)
{
    using testbed::UserClassServer;
    struct Case {
        const char* what;
        UserClassServer userServer;
        bool first;   // the disc master service is registered
        bool imapi2;  // the system folder holds imapi2.dll
    };
    const Case cases[] = {
        {"nothing of the user's", UserClassServer::None, true, true},
        {"the user's registration names a missing file", UserClassServer::Missing, false, true},
        {"the user's registration names a DLL of the user's", UserClassServer::UsersOwn, true, true},
        {"Windows XP without imapi2.dll", UserClassServer::None, true, false},
    };
    testbed::DiscRecorder& z = discs.AddRecorder(L'Z', DiscMedia::Blank);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        discs.userClassServer = c.userServer;
        discs.firstGenerationRegistered = c.first;
        discs.imapi2.present = c.imapi2;
        z.media = DiscMedia::Blank;
        z.ejected = 0;
        ASSERT_TRUE(SelectEjectorImplementation());
        {
            CIMAPIEjector ejector;
            ASSERT_TRUE(ejector.HasImplementation());
            ASSERT_EQ(ejector.Initialize(), S_OK);
            DWORD pending = 0;
            ejector.EjectAll(pending);
            EXPECT_EQ(pending, 0u);
            ejector.Uninitialize();
        }
        EXPECT_EQ(z.ejected, 1u);
        CIMAPIEjectorFactory::DeleteInstance();
    }
    // The user's code never ran in the ejector.
    EXPECT_EQ(discs.UserServerLoads(), 0u);
    ExpectEverythingGivenBack();
}

TEST_F(EjectorSelection, AnEjectorWithoutImplementationDoesNothing)
{
    discs.firstGenerationRegistered = false;
    discs.imapi2.present = false;
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    EXPECT_FALSE(SelectEjectorImplementation());
    CIMAPIEjector ejector;
    EXPECT_FALSE(ejector.HasImplementation());
    EXPECT_TRUE(FAILED(ejector.Initialize()));
    DWORD pending = 0;
    ejector.EjectAll(pending);
    ejector.Uninitialize();
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(d.ejectAttempts, 0u);
}

}  // namespace
