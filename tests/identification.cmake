# Identification rules and the ps listing.
ombrix_test(ombrix_identification_test
  SOURCES IdentificationTest.cpp NamingTest.cpp IdeAttributionTest.cpp AnalyzersTest.cpp
          VisibleTextTest.cpp LeftoversTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel
  LABELS identification)
ombrix_test(ombrix_process_listing_test
  SOURCES ProcessListingTest.cpp ListingMemoTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel
  LABELS identification)
